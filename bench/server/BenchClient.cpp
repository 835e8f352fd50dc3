// The tunnel client of the proxy benchmarks: opens connections to the bench origin's bulk port
// directly, through a SOCKS5 proxy (RFC 1928, with RFC 1929 when a user is given) or through
// an HTTP CONNECT tunnel, and measures one figure.
//
//   bench_client bulk --target H:P [ROUTE] --bytes N --connections C [--upload]
//       N bytes in total, split over C parallel tunnels; prints bytes, seconds, MiB/s.
//   bench_client rate --target H:P [ROUTE] --seconds S --workers W
//       each worker repeats: open a tunnel, one 64-byte request and answer, close.
//   bench_client idle --target H:P [ROUTE] --count N
//       opens N tunnels (each proven with a one-byte exchange), prints "ready", holds them
//       until standard input closes.
//   ROUTE: nothing (direct), --socks5 H:P [--user U --password P], or --connect H:P.
//
// Blocking sockets and one thread per connection keep the client simple; it is never the
// bottleneck at these connection counts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode;
    std::map<std::string, std::string> values;
    bool Has(const std::string& key) const { return values.count(key) != 0; }
    std::string Get(const std::string& key, const std::string& fallback = "") const {
        auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
    uint64_t Number(const std::string& key, uint64_t fallback) const {
        return Has(key) ? std::strtoull(Get(key).c_str(), nullptr, 10) : fallback;
    }
};

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: bench_client bulk|rate|idle --target HOST:PORT [--socks5 HOST:PORT "
                 "[--user U --password P] | --connect HOST:PORT] ...\n");
    std::exit(2);
}

sockaddr_in ParseAddress(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) Usage();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1)));
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &address.sin_addr) != 1) Usage();
    return address;
}

struct Route {
    enum class Kind { kDirect, kSocks5, kConnect } kind = Kind::kDirect;
    sockaddr_in proxy{};
    sockaddr_in target{};
    std::string user;
    std::string password;
};

// Owns one descriptor.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Socket& operator=(Socket&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Socket() { Reset(); }
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool SendAll(int fd, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, at, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        at += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool RecvAll(int fd, void* data, size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::recv(fd, at, size, 0);
        if (got <= 0) return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool Socks5Handshake(int fd, const Route& route) {
    const bool login = !route.user.empty();
    const unsigned char greeting[] = {5, 1, static_cast<unsigned char>(login ? 2 : 0)};
    unsigned char answer[2];
    if (!SendAll(fd, greeting, sizeof greeting) || !RecvAll(fd, answer, 2) || answer[0] != 5) {
        return false;
    }
    if (answer[1] == 2 && login) {
        std::string request = {1, static_cast<char>(route.user.size())};
        request += route.user;
        request += static_cast<char>(route.password.size());
        request += route.password;
        if (!SendAll(fd, request.data(), request.size()) || !RecvAll(fd, answer, 2) ||
            answer[1] != 0) {
            return false;
        }
    } else if (answer[1] != 0) {
        return false;
    }
    unsigned char connect[10] = {5, 1, 0, 1};
    std::memcpy(connect + 4, &route.target.sin_addr, 4);
    std::memcpy(connect + 8, &route.target.sin_port, 2);
    unsigned char reply[4];
    if (!SendAll(fd, connect, sizeof connect) || !RecvAll(fd, reply, 4) || reply[1] != 0) {
        return false;
    }
    unsigned char bound[256 + 2];
    size_t rest = 0;
    if (reply[3] == 1) {
        rest = 4 + 2;
    } else if (reply[3] == 4) {
        rest = 16 + 2;
    } else if (reply[3] == 3) {
        unsigned char length;
        if (!RecvAll(fd, &length, 1)) return false;
        rest = length + 2u;
    } else {
        return false;
    }
    return RecvAll(fd, bound, rest);
}

bool ConnectHandshake(int fd, const Route& route) {
    char host[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &route.target.sin_addr, host, sizeof host);
    const std::string authority =
        std::string(host) + ":" + std::to_string(ntohs(route.target.sin_port));
    const std::string request =
        "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
    if (!SendAll(fd, request.data(), request.size())) return false;
    // The origin speaks only when asked, so nothing past the head can arrive yet.
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0 || head.size() > 16 * 1024) return false;
        head.append(buffer, static_cast<size_t>(got));
    }
    return head.compare(0, 12, "HTTP/1.1 200") == 0 || head.compare(0, 12, "HTTP/1.0 200") == 0;
}

Socket OpenTunnel(const Route& route) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) return socket;
    const int on = 1;
    ::setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const sockaddr_in& first = route.kind == Route::Kind::kDirect ? route.target : route.proxy;
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&first), sizeof first) != 0) {
        return Socket();
    }
    const bool ok = route.kind == Route::Kind::kSocks5    ? Socks5Handshake(socket.fd(), route)
                    : route.kind == Route::Kind::kConnect ? ConnectHandshake(socket.fd(), route)
                                                          : true;
    return ok ? std::move(socket) : Socket();
}

bool SendCommand(int fd, char op, uint64_t count) {
    unsigned char command[9] = {static_cast<unsigned char>(op)};
    for (int i = 8; i >= 1; --i, count >>= 8) command[i] = static_cast<unsigned char>(count);
    return SendAll(fd, command, sizeof command);
}

// One bulk transfer of count bytes over an open tunnel, origin to client or back.
bool Transfer(int fd, uint64_t count, bool upload) {
    static thread_local std::vector<char> buffer(256 * 1024, 'u');
    if (!SendCommand(fd, upload ? 'R' : 'S', count)) return false;
    while (count > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        const ssize_t moved = upload ? ::send(fd, buffer.data(), piece, MSG_NOSIGNAL)
                                     : ::recv(fd, buffer.data(), piece, 0);
        if (moved <= 0) return false;
        count -= static_cast<uint64_t>(moved);
    }
    char done;
    return !upload || (RecvAll(fd, &done, 1) && done == 'k');
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int RunBulk(const Route& route, const Options& options) {
    const uint64_t total = options.Number("bytes", 1ull << 30);
    const uint64_t connections = std::max<uint64_t>(1, options.Number("connections", 1));
    const bool upload = options.Has("upload");
    std::atomic<int> failures{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (uint64_t i = 0; i < connections; ++i) {
        const uint64_t share = total / connections + (i < total % connections ? 1 : 0);
        threads.emplace_back([&, share] {
            Socket tunnel = OpenTunnel(route);
            if (!tunnel.valid() || !Transfer(tunnel.fd(), share, upload)) ++failures;
        });
    }
    for (std::thread& thread : threads) thread.join();
    const double seconds = Seconds(start);
    std::printf("bytes=%llu seconds=%.4f mib_per_s=%.1f failures=%d\n",
                static_cast<unsigned long long>(total), seconds, total / seconds / (1 << 20),
                failures.load());
    return failures == 0 ? 0 : 1;
}

int RunRate(const Route& route, const Options& options) {
    const double duration = static_cast<double>(options.Number("seconds", 5));
    const uint64_t workers = std::max<uint64_t>(1, options.Number("workers", 4));
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> failures{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (uint64_t i = 0; i < workers; ++i) {
        threads.emplace_back([&] {
            char answer[64];
            while (Seconds(start) < duration) {
                Socket tunnel = OpenTunnel(route);
                if (tunnel.valid() && SendCommand(tunnel.fd(), 'S', sizeof answer) &&
                    RecvAll(tunnel.fd(), answer, sizeof answer)) {
                    ++done;
                } else {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const double seconds = Seconds(start);
    std::printf("connections=%llu seconds=%.3f per_s=%.0f failures=%llu\n",
                static_cast<unsigned long long>(done.load()), seconds, done / seconds,
                static_cast<unsigned long long>(failures.load()));
    return 0;
}

int RunIdle(const Route& route, const Options& options) {
    const uint64_t count = options.Number("count", 10000);
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    constexpr uint64_t kOpeners = 4;
    std::mutex mutex;
    std::vector<Socket> tunnels;
    std::atomic<uint64_t> failures{0};
    std::vector<std::thread> threads;
    const Clock::time_point start = Clock::now();
    for (uint64_t i = 0; i < kOpeners; ++i) {
        threads.emplace_back([&, i] {
            for (uint64_t n = i; n < count; n += kOpeners) {
                Socket tunnel = OpenTunnel(route);
                char byte;
                if (tunnel.valid() && SendCommand(tunnel.fd(), 'S', 1) &&
                    RecvAll(tunnel.fd(), &byte, 1)) {
                    std::lock_guard lock(mutex);
                    tunnels.push_back(std::move(tunnel));
                } else if (++failures > 50) {
                    return;  // the proxy has reached a limit; what is open is the figure
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::printf("opened=%zu failures=%llu seconds=%.2f\nready\n", tunnels.size(),
                static_cast<unsigned long long>(failures.load()), Seconds(start));
    std::fflush(stdout);
    char ignored[64];
    while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Usage();
    Options options;
    options.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) != 0) Usage();
        const std::string key = argv[i] + 2;
        const bool flag = key == "upload";
        if (!flag && i + 1 >= argc) Usage();
        options.values[key] = flag ? "1" : argv[++i];
    }
    if (!options.Has("target")) Usage();
    Route route;
    route.target = ParseAddress(options.Get("target"));
    if (options.Has("socks5")) {
        route.kind = Route::Kind::kSocks5;
        route.proxy = ParseAddress(options.Get("socks5"));
        route.user = options.Get("user");
        route.password = options.Get("password");
    } else if (options.Has("connect")) {
        route.kind = Route::Kind::kConnect;
        route.proxy = ParseAddress(options.Get("connect"));
    }
    if (options.mode == "bulk") return RunBulk(route, options);
    if (options.mode == "rate") return RunRate(route, options);
    if (options.mode == "idle") return RunIdle(route, options);
    Usage();
}
