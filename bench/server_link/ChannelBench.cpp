// One command of the control-channel client on a live loopback connection, next to a bare
// TCP round trip of the same bytes against the same server, in the same run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "server_link/MQClient.h"

namespace {

constexpr char kRequest[] = "statistic\r\n";

// Answers every request line on every connection with one fixed framed reply, as plainly as
// possible, so that the figures show the client's cost and not the server's.
class EchoServer {
public:
    explicit EchoServer(std::string reply) : reply_(std::move(reply)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 8);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~EchoServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    uint16_t port() const { return port_; }

private:
    void Run() {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::thread([this, fd] { Serve(fd); }).detach();
        }
    }
    void Serve(int fd) {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count <= 0) break;
            pending.append(buffer, static_cast<size_t>(count));
            size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                pending.erase(0, end + 2);
                ::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            }
        }
        ::close(fd);
    }

    std::string reply_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

std::string FramedReply(size_t bodySize) {
    std::string body(bodySize, 'x');
    return std::to_string(body.size()) + "\r\n" + body;
}

void BM_ChannelCommand(benchmark::State& state) {
    const size_t bodySize = static_cast<size_t>(state.range(0));
    EchoServer server(FramedReply(bodySize));
    MQClient client;
    client.SetPort(server.port());
    client.SetRunningCheck([] { return true; });
    std::string reply;
    if (!client.Statistic(reply)) {  // connects outside the timed loop
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        if (!client.Statistic(reply) || reply.size() != bodySize) {
            state.SkipWithError("command failed");
            break;
        }
        benchmark::DoNotOptimize(reply.data());
    }
}

void BM_BareTcpRoundTrip(benchmark::State& state) {
    const std::string expected = FramedReply(static_cast<size_t>(state.range(0)));
    EchoServer server(expected);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.port());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        state.SkipWithError("no connection");
        ::close(fd);
        return;
    }
    std::string received(expected.size(), '\0');
    for (auto _ : state) {
        ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
        size_t got = 0;
        while (got < expected.size()) {
            const ssize_t count = ::recv(fd, received.data() + got, received.size() - got, 0);
            if (count <= 0) break;
            got += static_cast<size_t>(count);
        }
        if (got != expected.size()) {
            state.SkipWithError("round trip failed");
            break;
        }
        benchmark::DoNotOptimize(received.data());
    }
    ::close(fd);
}

// A typical "statistic" reply is about 120 bytes; 4 KiB is a long monitoring list.
BENCHMARK(BM_ChannelCommand)->Arg(120)->Arg(4096)->UseRealTime();
BENCHMARK(BM_BareTcpRoundTrip)->Arg(120)->Arg(4096)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
