#pragma once
// What the server tests share: the real server executable over a fresh main.db, a local HTTP
// origin, curl and the test's own loopback client, and a fixture that starts them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "server_link/MQClient.h"
#include "tests/support/Processes.h"

namespace server_test {

using namespace std::chrono_literals;
using Rows = std::vector<std::pair<std::string, std::string>>;

// The install folder of this test program (made once, removed at exit); the test process
// uses it as its module directory, so the console code and the server share main.db and
// its lock.
const std::string& InstallDir();
inline std::string MainDb() {
    return InstallDir() + "/main.db";
}
// A fresh main.db from the schema, with the given configuration rows and accounts.
void ResetDatabase(const Rows& configuration, const Rows& accounts);
// Runs SQL on main.db inside the database lock, as the console does.
void Sql(const std::string& sql);
int64_t Count(const std::string& sql);

// A loopback port nobody listens on right now.
uint16_t FreePort();
using test::WaitUntil;
// True when something accepts on 127.0.0.1:port.
bool Accepting(uint16_t port);
// Base64 of `text` (RFC 4648, padded).
std::string Base64(std::string_view text);
// `size` bytes that show a lost, doubled or reordered piece (unlike a run of one letter).
std::string Pattern(size_t size, unsigned seed);
// An origin's 200 answer with a length, and its chunked "abcdefg".
inline std::string Answer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
inline const std::string kChunkedAnswer =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n";

// One connection of the test to 127.0.0.1:port, with bounded receives, and the openers of a
// tunnel through the proxy.
class Client {
public:
    // receiveBuffer: a fixed kernel receive buffer instead of the growing default; from: the
    // client's own loopback address (127.0.0.1 by default).
    explicit Client(uint16_t port, std::chrono::milliseconds receiveLimit = 5s,
                    int receiveBuffer = 0, const char* from = "127.0.0.1");
    // A connection accepted elsewhere (an origin's end), owned from now on.
    Client(int acceptedFd, std::chrono::milliseconds receiveLimit) : fd_(acceptedFd) {
        SetReceiveLimit(receiveLimit);
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool Send(std::string_view bytes);
    void EndSending() { ::shutdown(fd_, SHUT_WR); }
    // Receives until `marker` has arrived, the peer closes, or a receive times out.
    std::string ReceiveUntil(std::string_view marker);
    std::string ReceiveExactly(size_t count);
    // Everything until the peer's end of stream; nothing on an error or time-out.
    std::optional<std::string> ReceiveToEnd();
    // True when the peer ends the connection (end of stream or reset) before the receive limit
    // (`within`, when given); bytes that arrive first are skipped.
    bool Closed(std::optional<std::chrono::milliseconds> within = std::nullopt);

    // A tunnel through the proxy on this connection to 127.0.0.1:destination; true once it is
    // open. SOCKS5 logs in when `user` is given and offers no authentication otherwise.
    bool Socks5(uint16_t destination, const std::string& user = "",
                const std::string& password = "");
    // HTTP CONNECT with the given extra header fields; the answer's head is read byte by byte,
    // so nothing of the tunnel is taken.
    bool Connect(uint16_t destination, const std::string& fields = "");

    void SetReceiveLimit(std::chrono::milliseconds limit);

private:
    // Appends what arrives while `more` holds, at most `limit` bytes in all: the last recv().
    ssize_t Receive(std::string& received, const std::function<bool()>& more,
                    size_t limit = SIZE_MAX);
    int fd_ = -1;
};

// The server from the install folder as a child process, TorvoProxyServer <arguments>, with its
// output appended to server.log there.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& arguments);
    ~ServerProcess();  // SIGTERM, then SIGKILL if it does not end within 5 s
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // Waits up to 5 s for its end: the exit code, or -1 (ended by a signal, or still running).
    int Wait() {
        return WaitUntil([&] { return Exited(); }) ? exitCode_ : -1;
    }
    // SIGTERM, then Wait().
    int Terminate();

private:
    bool Exited();  // reaps it if it has ended
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool exited_ = false;
};

// An origin on a loopback port, on threads of its own: each connection it accepts is served
// by `serve`; connections still open at its end are shut down. Connections() counts them.
class Origin {
public:
    explicit Origin(std::function<void(Client&)> serve);
    ~Origin();
    Origin(const Origin&) = delete;
    Origin& operator=(const Origin&) = delete;
    uint16_t Port() const { return port_; }
    int Connections() const { return connections_.load(); }

protected:
    std::atomic<bool> stopping_{false};

private:
    std::function<void(Client&)> serve_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<int> open_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

// A plain HTTP/1.1 origin; connections are kept alive. Paths:
//   /hello          "hello world" with a length
//   /chunked        "abcdefg" in two chunks
//   /bytes/N        N bytes of 'x' with a length
//   /slow/N         N bytes in 64 KiB pieces, one every 100 ms
//   /bye            "bye", then the connection is closed without notice
//   /echo           the request body back (requests with a length)
//   /inject/S       status S with a Content-Length framing "injected" in a 200 after it
//   /silent         never answers
class HttpOrigin : public Origin {
public:
    HttpOrigin();

private:
    static void Serve(Client& connection, const std::atomic<bool>& stopping);
};

struct CurlResult {
    int exitCode = -1;
    std::string output;  // standard output
};
// curl -s --max-time 10 <arguments>; arguments must not need shell quoting.
CurlResult Curl(const std::string& arguments);

// The server on fresh ports over a fresh main.db, with an HTTP origin beside it.
class ServerTest : public ::testing::Test {
protected:
    ServerTest() {
        link_.SetRunningCheck([] { return true; });
    }
    // A fresh main.db with these rows and accounts, and the server on it.
    void Start(const Rows& configuration = {{"anonymous_allow", "0"}},
               const Rows& accounts = {{"alice", "secret"}, {"bob", "b0b"}});
    // The server on main.db as it is, on fresh ports; the test fails unless both accept.
    void Serve();
    // The origin's URL for `path` (or another port's).
    std::string Url(const std::string& path, uint16_t port = 0) const {
        return "http://127.0.0.1:" + std::to_string(port ? port : origin_.Port()) + path;
    }
    // curl options for the HTTP proxy and for SOCKS5 (names resolved by the proxy), with
    // "user:password" when given.
    std::string Http(const std::string& credentials = "") const;
    std::string Socks(const std::string& credentials = "") const;
    // The status code curl saw, of the request.
    static std::string Status(const std::string& arguments) {
        return Curl("-o /dev/null -w %{http_code} " + arguments).output;
    }
    // A GET of the origin's `path` through the HTTP proxy, with extra header fields.
    std::string Get(const std::string& path, const std::string& fields = "") const;
    // A Proxy-Authorization field.
    static std::string Login(const std::string& user, const std::string& password) {
        return "Proxy-Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
    }
    // What a fresh connection receives for `request` until `until` (or its end).
    std::string Ask(const std::string& request, std::string_view until = "\r\n") const;
    // A well-behaved client gets its page (as alice) while others misbehave.
    bool OthersAreServed() const {
        return Ask(Get("/hello", Login("alice", "secret")), "hello world").ends_with("hello world");
    }
    // applyconf through the console's own control-channel client: true when the server took it.
    bool ApplyConf();

    HttpOrigin origin_;
    uint16_t listen_ = 0;
    uint16_t control_ = 0;
    std::unique_ptr<ServerProcess> server_;
    MQClient link_;
};

}  // namespace server_test
