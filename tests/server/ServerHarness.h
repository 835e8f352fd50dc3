#pragma once
// What the server tests share: the real server over a fresh main.db, a local HTTP origin, curl,
// the test's own loopback client, and a fixture that starts them.
#include <gtest/gtest.h>
#include <sys/socket.h>
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
#include "tests/support/FreePort.h"
#include "tests/support/Processes.h"

namespace server_test {

using namespace std::chrono_literals;
using Rows = std::vector<std::pair<std::string, std::string>>;

// The program's install folder (made once, removed at exit), also the test process's module
// directory: the console code and the server share main.db and its lock.
const std::string& InstallDir();
inline std::string MainDb() {
    return InstallDir() + "/main.db";
}
void ResetDatabase(const Rows& configuration, const Rows& accounts);
// SQL on main.db inside the database lock, as the console runs it.
void Sql(const std::string& sql);
int64_t Count(const std::string& sql);

using test::FreePort;
using test::WaitUntil;
std::string Base64(std::string_view text);  // RFC 4648, padded
// `size` bytes that show a lost, doubled or reordered piece (unlike a run of one letter).
std::string Pattern(size_t size, unsigned seed);
// An origin's 200 answer with a length, and its chunked "abcdefg".
inline std::string Answer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
inline const std::string kChunkedAnswer =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n";

// A connection to 127.0.0.1:port with bounded receives, and openers of tunnels through the proxy.
class Client {
public:
    // receiveLimit: a bound against hanging, generous for a loaded machine; receiveBuffer: a
    // fixed kernel receive buffer, not the growing default; from: own address.
    explicit Client(uint16_t port, std::chrono::milliseconds receiveLimit = 20s,
                    int receiveBuffer = 0, const char* from = "127.0.0.1");
    explicit Client(int acceptedFd) : fd_(acceptedFd) {}  // an origin's end, owned from now on
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool Send(std::string_view bytes);
    void EndSending() { ::shutdown(fd_, SHUT_WR); }
    // Until `marker` has arrived, the peer closes, or a receive times out.
    std::string ReceiveUntil(std::string_view marker) {
        return Receive([&](std::string& r) { return r.find(marker) == r.npos ? SIZE_MAX : 0; });
    }
    std::string ReceiveExactly(size_t count) {
        return Receive([&](std::string& r) { return count - r.size(); });
    }
    // Everything until the peer's end of stream; nothing on an error or time-out.
    std::optional<std::string> ReceiveToEnd();
    // Whether the peer ends (end or reset) within the receive limit or `within`, skipping bytes.
    bool Closed(std::optional<std::chrono::milliseconds> within = std::nullopt);

    // A tunnel to 127.0.0.1:destination; true once it is open. SOCKS5 logs in when `user` is
    // given and offers no authentication otherwise.
    bool Socks5(uint16_t destination, const std::string& user = "",
                const std::string& password = "");
    // CONNECT with extra header fields; its answer is read to its head, none of the tunnel's.
    bool Connect(uint16_t destination, const std::string& fields = "");

    void SetReceiveLimit(std::chrono::milliseconds limit);

private:
    // What arrives while `wanted` (of what arrived) asks for more bytes, and the last recv().
    std::string Receive(const std::function<size_t(std::string&)>& wanted, ssize_t* last = nullptr);
    int fd_ = -1;
};

inline bool Accepting(uint16_t port) {
    return Client(port).ok();
}

// TorvoProxyServer <arguments> from the install folder, its output appended to server.log there.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& arguments);
    ~ServerProcess();  // SIGTERM, then SIGKILL if it does not end within the bound
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // Waits (bounded) for its end: the exit code, or -1 (ended by a signal, or still running).
    int Wait() {
        return WaitUntil([&] { return Exited(); }) ? exitCode_ : -1;
    }
    int Terminate();  // SIGTERM, then Wait()

private:
    bool Exited();  // reaps it if it has ended
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool exited_ = false;
};

// An origin on a loopback port, on threads of its own: each connection it accepts is served
// by `serve`; connections still open at its end are shut down. Connections() counts them.
// Without `serve`, a plain HTTP/1.1 origin keeping connections alive: /hello, /chunked
// (kChunkedAnswer), /bytes/N (N 'x'), /slow/N (64 KiB each 100 ms), /bye (then closes
// unannounced), /echo (the body back), /inject/S (status S whose length frames a 200
// "injected" after it), /silent (never answers).
class Origin {
public:
    explicit Origin(std::function<void(Client&)> serve = nullptr);
    ~Origin();
    uint16_t Port() const { return port_; }
    int Connections() const { return connections_.load(); }

private:
    std::atomic<bool> stopping_{false};
    std::function<void(Client&)> serve_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<int> open_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
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
    void Start(const Rows& configuration = {{"anonymous_allow", "0"}},
               const Rows& accounts = {{"alice", "secret"}, {"bob", "b0b"}}) {
        ResetDatabase(configuration, accounts);
        Serve();
    }
    // The server on main.db as it is, on fresh ports; the test fails unless both accept.
    void Serve();
    std::string Url(const std::string& path, uint16_t port = 0) const {
        return "http://127.0.0.1:" + std::to_string(port ? port : origin_.Port()) + path;
    }
    // curl options for the HTTP proxy and SOCKS5 (names resolved by the proxy), with user:password.
    std::string Http(const std::string& credentials = "") const;
    std::string Socks(const std::string& credentials = "") const;
    static std::string Status(const std::string& arguments) {
        return Curl("-o /dev/null -w %{http_code} " + arguments).output;
    }
    // A GET of the origin's `path` through the HTTP proxy, with extra header fields.
    std::string Get(const std::string& path, const std::string& fields = "") const;
    static std::string Login(const std::string& user, const std::string& password) {
        return "Proxy-Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
    }
    // What a fresh connection receives for `request` until `until` (or its end).
    std::string Ask(const std::string& request, std::string_view until = "\r\n") const {
        Client client(listen_);
        client.Send(request);  // the server may close before all of it is sent
        return client.ReceiveUntil(until);
    }
    // A well-behaved client gets its page (as alice) while others misbehave.
    bool OthersAreServed() const {
        return Ask(Get("/hello", Login("alice", "secret")), "hello world").ends_with("hello world");
    }
    bool ApplyConf() {  // through the console's own client: true when the server took it
        std::string reply;
        return link_.ApplyConf(reply) && reply.find("\"err_code\":0") != std::string::npos;
    }

    Origin origin_;
    uint16_t listen_ = 0;
    uint16_t control_ = 0;
    std::unique_ptr<ServerProcess> server_;
    MQClient link_;
};

}  // namespace server_test
