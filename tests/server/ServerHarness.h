#pragma once
// What the server tests share: one install folder with the real server executable and a
// fresh main.db per test, the server as a child process, a local HTTP origin, a TLS origin
// (openssl s_server), curl as the client, and the console's own control-channel client.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace server_test {

using namespace std::chrono_literals;

// The install folder of this test program (made once, removed at exit); the test process
// uses it as its module directory, so the console code and the server share main.db and
// its lock.
const std::string& InstallDir();
std::string MainDb();
// A fresh main.db from the schema, with the given configuration rows and accounts.
void ResetDatabase(const std::vector<std::pair<std::string, std::string>>& configuration,
                   const std::vector<std::pair<std::string, std::string>>& accounts);
// Runs SQL on main.db inside the database lock, as the console does.
void Sql(const std::string& sql);
int64_t Count(const std::string& sql);

// A loopback port nobody listens on right now.
uint16_t FreePort();
// Polls `condition` every 20 ms for at most `limit`.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s);
// A connection to 127.0.0.1:port whose receives give up after `receiveLimit`; -1 on failure.
int ConnectLoopback(uint16_t port, std::chrono::seconds receiveLimit = 10s);
// True when something accepts on 127.0.0.1:port.
bool Accepting(uint16_t port);

// A child process of the test with its output appended to a log file in the install folder.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& logName);
    ~ChildProcess();  // SIGTERM, then SIGKILL if it does not end within 5 s
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // Reaps it if it has ended.
    bool Exited();
    // Its exit code once it has ended (-1 when a signal ended it).
    int ExitCode() const { return exitCode_; }
    // SIGTERM, then waits up to 5 s: the exit code, or -1.
    int Terminate();

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool exited_ = false;
};

// The server from the install folder, started by hand: TorvoProxyServer <arguments>.
class ServerByHand : public ChildProcess {
public:
    explicit ServerByHand(const std::string& program, const std::string& argument)
        : ChildProcess({program, argument}, "server.log") {}
};

// The server in the foreground on the given ports; Ready once both accept.
class ServerProcess : public ChildProcess {
public:
    ServerProcess(uint16_t listenPort, uint16_t controlPort);
    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
};

// A plain HTTP/1.1 origin on a loopback port, on its own thread. Paths:
//   /hello          "hello world" with a length
//   /chunked        "abcdefg" in two chunks
//   /bytes/N        N bytes of 'x' with a length
//   /slow/N         N bytes in 64 KiB pieces, one every 100 ms
//   /bye            "bye", then the connection is closed without notice
//   /echo           the request body back (requests with a length)
//   /inject/S       status S with a Content-Length framing "injected" in a 200 after it
//   /silent         never answers
// Connections are kept alive; Connections() counts the accepted ones.
class HttpOrigin {
public:
    HttpOrigin();
    ~HttpOrigin();
    uint16_t Port() const { return port_; }
    int Connections() const { return connections_.load(); }

private:
    void Serve(int fd);
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

// openssl s_server with a fresh self-signed certificate, answering "GET /" with its status
// page (-www).
class TlsOrigin {
public:
    TlsOrigin();
    uint16_t Port() const { return port_; }
    bool Ready() const { return ready_; }

private:
    uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

struct CurlResult {
    int exitCode = -1;
    std::string output;  // standard output
};
// curl -s --max-time 10 <arguments>; arguments must not need shell quoting.
CurlResult Curl(const std::string& arguments);

// A raw SOCKS5 tunnel from the test: logs in (or not), connects to 127.0.0.1:port, and keeps
// the connection open. fd is -1 when any step failed.
struct Socks5Tunnel {
    Socks5Tunnel(uint16_t proxyPort, uint16_t destinationPort, const std::string& user,
                 const std::string& password);
    ~Socks5Tunnel();
    // True when the proxy ends the connection within `limit`.
    bool ClosedWithin(std::chrono::milliseconds limit);
    int fd = -1;
};

}  // namespace server_test
