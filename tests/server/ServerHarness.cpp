#include "tests/server/ServerHarness.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "Common/Database.h"
#include "Common/PasswordDigest.h"
#include "tests/support/TestDb.h"

namespace server_test {
namespace fs = std::filesystem;
using namespace std::string_literals;

static sockaddr_in Loopback(uint16_t port, const char* address = "127.0.0.1") {
    sockaddr_in result{AF_INET, htons(port), {}, {}};
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
}

const std::string& InstallDir() {
    static test::ScopedInstall install;
    static const std::string path = fs::path(install.Db()).parent_path().string();
    [[maybe_unused]] static const bool copied = [] {
        const bool done = fs::copy_file(TORVO_SERVER_PATH, install.file("TorvoProxyServer"));
        test::SweepWhenThisProgramEnds(install.file("TorvoProxyServer"), path);
        return done;
    }();
    return path;
}

void ResetDatabase(const Rows& configuration, const Rows& accounts) {
    std::string rows;
    for (const auto& [key, value] : configuration) {
        rows += SqlFormat("insert into configuration (key, value) values ('%q', '%q');",
                          key.c_str(), value.c_str());
    }
    for (const auto& [user, password] : accounts) {
        rows += SqlFormat("insert into accounts (username, password) values ('%q', '%u');",
                          user.c_str(), PasswordDigest(password));
    }
    fs::remove(MainDb());
    test::CreateSchemaDb(MainDb(), rows);
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

std::string Base64(std::string_view text) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t n = std::min<size_t>(3, text.size() - i);
        uint32_t bits = 0;
        for (size_t j = 0; j < 3; ++j) bits = bits << 8 | (j < n ? uint8_t(text[i + j]) : 0);
        for (size_t j = 0; j < 4; ++j) out += j <= n ? kAlphabet[bits >> (18 - 6 * j) & 63] : '=';
    }
    return out;
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

Client::Client(uint16_t port, std::chrono::milliseconds receiveLimit, int receiveBuffer,
               const char* from) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(int));
    const sockaddr_in local = Loopback(0, from);
    const sockaddr_in remote = Loopback(port);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(std::exchange(fd_, -1));
    }
    SetReceiveLimit(receiveLimit);  // on a failed connection: in vain
}

void Client::SetReceiveLimit(std::chrono::milliseconds limit) {
    timeval wait{static_cast<time_t>(limit.count() / 1000),
                 static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
}

bool Client::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::string Client::Receive(const std::function<size_t(std::string&)>& wanted, ssize_t* last) {
    std::string received;
    char chunk[65536];
    ssize_t count = 1;
    for (size_t want; (want = wanted(received)) > 0 &&
                      (count = ::recv(fd_, chunk, std::min(sizeof chunk, want), 0)) > 0;) {
        received.append(chunk, static_cast<size_t>(count));
    }
    if (last) *last = count;
    return received;
}

std::optional<std::string> Client::ReceiveToEnd() {
    ssize_t last = 0;
    std::string received = Receive([](std::string&) { return SIZE_MAX; }, &last);
    return last < 0 ? std::nullopt : std::optional(std::move(received));
}

bool Client::Closed(std::optional<std::chrono::milliseconds> within) {
    if (within) SetReceiveLimit(*within);
    ssize_t last = 0;
    Receive([](std::string& skipped) { return skipped.clear(), SIZE_MAX; }, &last);
    return last == 0 || errno == ECONNRESET;
}

bool Client::Socks5(uint16_t destination, const std::string& user, const std::string& password) {
    const std::string method = user.empty() ? "\x00"s : "\x02"s;
    if (!Send("\x05\x01"s + method) || ReceiveExactly(2) != "\x05"s + method) return false;
    if (!user.empty() &&
        (!Send("\x01"s + char(user.size()) + user + char(password.size()) + password) ||
         ReceiveExactly(2) != "\x01\x00"s)) {
        return false;
    }
    return Send("\x05\x01\x00\x01\x7f\x00\x00\x01"s + char(destination >> 8) + char(destination)) &&
           ReceiveExactly(10).starts_with("\x05\x00"s);
}

bool Client::Connect(uint16_t destination, const std::string& fields) {
    const std::string authority = "127.0.0.1:" + std::to_string(destination);
    const auto byteByByte = [](std::string& head) { return head.ends_with("\r\n\r\n") ? 0 : 1; };
    return Send("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + fields +
                "\r\n") &&
           Receive(byteByByte).starts_with("HTTP/1.1 200");
}

// The child does nothing between fork and exec but what is safe in a threaded program. The
// server dies with the test's thread (servers are started on it).
ServerProcess::ServerProcess(const std::vector<std::string>& arguments) {
    const std::string logFile = InstallDir() + "/server.log",
                      path = InstallDir() + "/TorvoProxyServer";
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        if (!test::DieWithParent(parent)) ::_exit(127);
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) ::dup2(log, 1), ::dup2(log, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0 && !Exited() && Terminate() == -1 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ServerProcess::Exited() {
    if (exited_) return true;
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

int ServerProcess::Terminate() {
    if (!Exited()) ::kill(pid_, SIGTERM);
    return Wait();
}

// The proxy sends a request only once the one before is answered, so none runs into the next.
static void ServeHttp(Client& connection, const std::atomic<bool>& stopping) {
    for (;;) {
        const std::string request = connection.ReceiveUntil("\r\n\r\n");
        const size_t end = request.find("\r\n\r\n"), length = request.find("Content-Length: ");
        if (end == std::string::npos) return;
        std::string path = request.substr(request.find(' ') + 1);
        path.resize(path.find(' '));
        std::string body = request.substr(end + 4);
        if (length < end) {
            body +=
                connection.ReceiveExactly(std::stoul(request.substr(length + 16)) - body.size());
        }
        bool ok = true;
        if (path == "/hello") {
            ok = connection.Send(Answer("hello world"));
        } else if (path == "/chunked") {
            ok = connection.Send(kChunkedAnswer);
        } else if (path.rfind("/bytes/", 0) == 0) {
            ok = connection.Send(Answer(std::string(std::stoul(path.substr(7)), 'x')));
        } else if (path.rfind("/slow/", 0) == 0) {
            const size_t total = std::stoul(path.substr(6));
            ok = connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) +
                                 "\r\n\r\n");
            for (size_t sent = 0; ok && sent < total && !stopping; sent += 65536) {
                ok = connection.Send(std::string(std::min<size_t>(65536, total - sent), 'x'));
                std::this_thread::sleep_for(100ms);
            }
        } else if (path == "/bye") {
            connection.Send(Answer("bye"));
            ::shutdown(connection.fd(), SHUT_RDWR);  // a connection it never said it would close
            return;
        } else if (path == "/echo") {
            ok = connection.Send(Answer(body));
        } else if (path.rfind("/inject/", 0) == 0) {
            const std::string inner = Answer("injected");
            ok = connection.Send("HTTP/1.1 " + path.substr(8) + " X\r\nContent-Length: " +
                                 std::to_string(inner.size()) + "\r\n\r\n" + inner);
        } else if (path == "/silent") {
            connection.Closed();
            return;
        } else {
            ok = connection.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
        if (!ok) return;
    }
}

Origin::Origin(std::function<void(Client&)> serve)
    : serve_(serve ? std::move(serve) : [this](Client& c) { ServeHttp(c, stopping_); }) {
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
            std::lock_guard lock(mutex_);
            open_.push_back(fd);
            workers_.emplace_back([this, fd] {
                Client connection(fd);
                serve_(connection);
                std::lock_guard lock(mutex_);
                std::erase(open_, fd);  // before it is closed and its number used again
            });
        }
    });
}

Origin::~Origin() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    {
        std::lock_guard lock(mutex_);
        for (const int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& worker : workers_) worker.join();
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

void ServerTest::Serve() {
    server_.reset();
    listen_ = FreePort();
    control_ = FreePort(listen_);
    server_ = std::make_unique<ServerProcess>(std::vector<std::string>{
        "--listen-port", std::to_string(listen_), "--control-port", std::to_string(control_)});
    link_.SetPort(control_);
    link_.SetRunningCheck([] { return true; });
    ASSERT_TRUE(WaitUntil([&] { return Accepting(control_) && Accepting(listen_); }));
}

std::string ServerTest::Http(const std::string& credentials) const {
    return "-x http://127.0.0.1:" + std::to_string(listen_) +
           (credentials.empty() ? "" : " -U " + credentials) + " ";
}

std::string ServerTest::Socks(const std::string& credentials) const {
    return "--socks5-hostname 127.0.0.1:" + std::to_string(listen_) +
           (credentials.empty() ? "" : " -U " + credentials) + " ";
}

std::string ServerTest::Get(const std::string& path, const std::string& fields) const {
    const std::string origin = "127.0.0.1:" + std::to_string(origin_.Port());
    return "GET http://" + origin + path + " HTTP/1.1\r\nHost: " + origin + "\r\n" + fields +
           "\r\n";
}

}  // namespace server_test
