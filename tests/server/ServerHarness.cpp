#include "tests/server/ServerHarness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>

#include "Common/Database.h"
#include "Common/PasswordDigest.h"
#include "Common/Paths.h"

namespace server_test {
namespace fs = std::filesystem;

namespace {

std::mutex g_fdsMutex;
std::vector<int> g_originFds;  // open origin connections, shut down when the origin ends

struct InstallFolder {
    InstallFolder() {
        char pattern[] = "/tmp/torvo-server-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        path = fs::canonical(pattern).string();
        fs::copy_file(TORVO_SERVER_PATH, path + "/TorvoProxyServer");
        // The test process and the server use one main.db and so one database lock.
        OverrideModuleDirectory(path);
    }
    ~InstallFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string path;
};

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int ConnectLoopback(uint16_t port, std::chrono::seconds receiveLimit) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval limit{static_cast<time_t>(receiveLimit.count()), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

namespace {

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count <= 0) return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

bool ReceiveExactly(int fd, size_t count, std::string& out) {
    out.resize(count);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::recv(fd, out.data() + done, count - done, 0);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// fork and exec; the child does nothing between them but what is safe after a fork in a
// threaded program.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& logFile) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace

const std::string& InstallDir() {
    static InstallFolder folder;
    return folder.path;
}

std::string MainDb() {
    return InstallDir() + "/main.db";
}

void ResetDatabase(const std::vector<std::pair<std::string, std::string>>& configuration,
                   const std::vector<std::pair<std::string, std::string>>& accounts) {
    fs::remove(MainDb());
    std::ostringstream schema;
    schema << std::ifstream(TORVO_SCHEMA_FILE).rdbuf();
    Sql(schema.str());
    for (const auto& [key, value] : configuration) {
        Sql(SqlFormat("insert into configuration (key, value) values ('%q', '%q')", key.c_str(),
                      value.c_str()));
    }
    for (const auto& [user, password] : accounts) {
        Sql(
            SqlFormat("insert into accounts (username, password, create_time) values "
                      "('%q', '%u', '2026-1-1 0:0:0')",
                      user.c_str(), PasswordDigest(password)));
    }
    ::chmod(MainDb().c_str(), 0600);
}

void Sql(const std::string& sql) {
    if (!UseDatabase([&](CppSQLite3DB& db) { db.execDML(sql.c_str()); }, DbFailure::kLogError)) {
        throw std::runtime_error("SQL failed: " + sql);
    }
}

int64_t Count(const std::string& sql) {
    int64_t count = -1;
    UseDatabase([&](CppSQLite3DB& db) { count = db.execQuery(sql.c_str()).getInt64Field(0); });
    return count;
}

// Below the ephemeral range (32768 and up): a port there may become some connection's local
// end before the server binds it (other tests open thousands beside), and the server then
// fails its start.
uint16_t FreePort() {
    static std::mt19937 random(std::random_device{}());
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(static_cast<uint16_t>(20000 + random() % 12000));
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) return ntohs(address.sin_port);
    }
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool Accepting(uint16_t port) {
    const int fd = ConnectLoopback(port);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::string& logName)
    : pid_(Spawn(arguments, InstallDir() + "/" + logName)) {}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !Exited() && Terminate() == -1 && !exited_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::Exited() {
    if (exited_) return true;
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

int ChildProcess::Terminate() {
    if (!Exited()) ::kill(pid_, SIGTERM);
    return WaitUntil([&] { return Exited(); }) ? exitCode_ : -1;
}

ServerProcess::ServerProcess(uint16_t listenPort, uint16_t controlPort)
    : ChildProcess({InstallDir() + "/TorvoProxyServer", "--listen-port", std::to_string(listenPort),
                    "--control-port", std::to_string(controlPort)},
                   "server.log") {
    ready_ = WaitUntil([&] { return Accepting(controlPort) && Accepting(listenPort); });
}

HttpOrigin::HttpOrigin() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0 || stopping_) {
                if (fd >= 0) ::close(fd);
                return;
            }
            ++connections_;
            {
                std::lock_guard lock(g_fdsMutex);
                g_originFds.push_back(fd);
            }
            workers_.emplace_back([this, fd] { Serve(fd); });
        }
    });
}

HttpOrigin::~HttpOrigin() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    {
        std::lock_guard lock(g_fdsMutex);
        for (const int fd : g_originFds) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& worker : workers_) worker.join();
    std::lock_guard lock(g_fdsMutex);
    for (const int fd : g_originFds) ::close(fd);
    g_originFds.clear();
}

void HttpOrigin::Serve(int fd) {
    std::string pending;
    char chunk[16384];
    for (;;) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
            if (count <= 0) return;
            pending.append(chunk, static_cast<size_t>(count));
        }
        const std::string head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        const size_t pathStart = head.find(' ') + 1;
        const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
        size_t bodyLength = 0;
        if (const size_t at = head.find("Content-Length: "); at != std::string::npos) {
            bodyLength = std::stoul(head.substr(at + 16));
        }
        std::string body;
        while (pending.size() < bodyLength) {
            const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
            if (count <= 0) return;
            pending.append(chunk, static_cast<size_t>(count));
        }
        body = pending.substr(0, bodyLength);
        pending.erase(0, bodyLength);

        auto reply = [&](const std::string& content) {
            return SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " +
                                   std::to_string(content.size()) + "\r\n\r\n" + content);
        };
        bool ok = true;
        if (path == "/hello") {
            ok = reply("hello world");
        } else if (path == "/chunked") {
            ok = SendAll(fd,
                         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n");
        } else if (path.rfind("/bytes/", 0) == 0) {
            ok = reply(std::string(std::stoul(path.substr(7)), 'x'));
        } else if (path.rfind("/slow/", 0) == 0) {
            const size_t total = std::stoul(path.substr(6));
            ok = SendAll(
                fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n");
            for (size_t sent = 0; ok && sent < total && !stopping_; sent += 65536) {
                ok = SendAll(fd, std::string(std::min<size_t>(65536, total - sent), 'x'));
                std::this_thread::sleep_for(100ms);
            }
        } else if (path == "/bye") {
            reply("bye");
            ::shutdown(fd, SHUT_RDWR);  // a connection it never said it would close
            return;
        } else if (path == "/echo") {
            ok = reply(body);
        } else if (path.rfind("/inject/", 0) == 0) {
            // A head whose length field frames another response after it.
            const std::string inner = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\ninjected";
            ok = SendAll(fd, "HTTP/1.1 " + path.substr(8) + " X\r\nContent-Length: " +
                                 std::to_string(inner.size()) + "\r\n\r\n" + inner);
        } else if (path == "/silent") {
            while (::recv(fd, chunk, sizeof chunk, 0) > 0) {
            }
            return;
        } else {
            ok = SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
        if (!ok) return;
    }
}

TlsOrigin::TlsOrigin() {
    const std::string key = InstallDir() + "/origin.key";
    const std::string cert = InstallDir() + "/origin.crt";
    if (!fs::exists(cert)) {
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
            "/CN=localhost -keyout " +
            key + " -out " + cert + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
    }
    port_ = FreePort();
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/openssl", "s_server", "-accept",
                                 "127.0.0.1:" + std::to_string(port_), "-cert", cert, "-key", key,
                                 "-www", "-quiet"},
        "tls-origin.log");
    ready_ = WaitUntil([&] { return Accepting(port_); });
}

CurlResult Curl(const std::string& arguments) {
    CurlResult result;
    const std::string command = "curl -s --max-time 10 " + arguments + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[65536];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        result.output.append(chunk, count);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Socks5Tunnel::Socks5Tunnel(uint16_t proxyPort, uint16_t destinationPort, const std::string& user,
                           const std::string& password) {
    fd = ConnectLoopback(proxyPort);
    if (fd < 0) return;
    std::string reply;
    const bool login = !user.empty();
    bool ok =
        SendAll(fd, login ? std::string("\x05\x01\x02", 3) : std::string("\x05\x01\x00", 3)) &&
        ReceiveExactly(fd, 2, reply) && reply[1] == (login ? 2 : 0);
    if (ok && login) {
        ok = SendAll(fd,
                     std::string{1, char(user.size())} + user + char(password.size()) + password) &&
             ReceiveExactly(fd, 2, reply) && reply[1] == 0;
    }
    if (ok) {
        std::string request("\x05\x01\x00\x01\x7f\x00\x00\x01", 8);
        request.push_back(char(destinationPort >> 8));
        request.push_back(char(destinationPort & 0xFF));
        ok = SendAll(fd, request) && ReceiveExactly(fd, 10, reply) && reply[1] == 0;
    }
    if (!ok) {
        ::close(fd);
        fd = -1;
    }
}

Socks5Tunnel::~Socks5Tunnel() {
    if (fd >= 0) ::close(fd);
}

bool Socks5Tunnel::ClosedWithin(std::chrono::milliseconds limit) {
    timeval wait{static_cast<time_t>(limit.count() / 1000),
                 static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char byte;
    return ::recv(fd, &byte, 1, 0) == 0 || errno == ECONNRESET;
}

}  // namespace server_test
