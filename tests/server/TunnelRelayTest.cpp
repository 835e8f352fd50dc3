// Established tunnels: bulk bytes (moved by splice() once a direction has carried enough) pass
// both ways unchanged, each end's half-close reaches the other while the other direction goes
// on; address literals skip the resolver but not the destination check; the read buffer grows
// only while reads fill it and is given back when empty.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "server/ClientSession.h"
#include "server/DatabaseWorker.h"
#include "server/ProxyServer.h"
#include "server/ReadBuffer.h"
#include "server/SessionIo.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

// Bytes that show a lost, doubled or reordered piece (unlike a run of one letter).
std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

// Everything until the peer's end of stream; nullopt on an error or time-out.
std::optional<std::string> ReceiveToEnd(int fd) {
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
        if (count == 0) return bytes;
        if (count < 0) return std::nullopt;
        bytes.append(chunk, static_cast<size_t>(count));
    }
}

// One connection accepted on a loopback port, served by `serve` on its own thread.
class OneShotOrigin {
public:
    explicit OneShotOrigin(std::function<void(int)> serve) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, serve = std::move(serve)] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            timeval limit{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            serve(fd);
            ::close(fd);
        });
    }
    ~OneShotOrigin() {
        ::shutdown(listener_, SHUT_RDWR);  // ends a pending accept
        thread_.join();
        ::close(listener_);
    }
    uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

// A CONNECT tunnel through the proxy, or -1.
int ConnectTunnel(uint16_t proxyPort, uint16_t destinationPort) {
    const int fd = ConnectLoopback(proxyPort);
    if (fd < 0) return -1;
    const std::string authority = "127.0.0.1:" + std::to_string(destinationPort);
    std::string head;
    char byte;
    // Byte by byte, so that nothing past the head is taken from the tunnel.
    if (SendAll(fd, "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n")) {
        while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd, &byte, 1, 0) == 1) {
            head.push_back(byte);
        }
    }
    if (head.rfind("HTTP/1.1 200", 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class TunnelRelay : public ::testing::Test {
protected:
    void SetUp() override {
        ResetDatabase({{"anonymous_allow", "1"}}, {});
        listen_ = FreePort();
        server_ = std::make_unique<ServerProcess>(listen_, FreePort());
        ASSERT_TRUE(server_->Ready());
    }
    // A tunnel of each kind to `port`; the test runs once per kind.
    void ForEachKind(const std::function<void(int)>& test, const std::function<uint16_t()>& port) {
        for (const bool socks : {true, false}) {
            SCOPED_TRACE(socks ? "SOCKS5" : "CONNECT");
            const uint16_t destination = port();
            std::optional<Socks5Tunnel> socksTunnel;
            int fd;
            if (socks) {
                socksTunnel.emplace(listen_, destination, "", "");
                fd = socksTunnel->fd;
            } else {
                fd = ConnectTunnel(listen_, destination);
            }
            ASSERT_GE(fd, 0);
            test(fd);
            if (!socks) ::close(fd);
        }
    }

    uint16_t listen_ = 0;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(TunnelRelay, TheClientsBytesComeBackWholeAndItsHalfCloseEndsTheEcho) {
    const std::string sent = Pattern(3 << 20, 1);
    std::unique_ptr<OneShotOrigin> origin;
    ForEachKind(
        [&](int fd) {
            // Sending and receiving at once, as the echo passes both ways at the same time.
            auto receiving = std::async(std::launch::async, [fd] { return ReceiveToEnd(fd); });
            EXPECT_TRUE(SendAll(fd, sent));
            ::shutdown(fd, SHUT_WR);
            const auto echoed = receiving.get();
            ASSERT_TRUE(echoed.has_value()) << "no end of stream after the echo";
            EXPECT_EQ(echoed->size(), sent.size());
            EXPECT_TRUE(*echoed == sent) << "the echo differs";
        },
        [&] {
            origin = std::make_unique<OneShotOrigin>([](int fd) {
                char chunk[65536];
                ssize_t count;
                while ((count = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
                    if (!SendAll(fd, {chunk, static_cast<size_t>(count)})) return;
                }
                ::shutdown(fd, SHUT_WR);
            });
            return origin->Port();
        });
}

TEST_F(TunnelRelay, AfterTheOriginHasEndedTheClientGoesOnSending) {
    const std::string answer = Pattern(3 << 20, 2);
    const std::string upload = Pattern(2 << 20, 3);
    std::unique_ptr<OneShotOrigin> origin;
    std::promise<std::optional<std::string>> received;
    ForEachKind(
        [&](int fd) {
            const auto downloaded = ReceiveToEnd(fd);
            ASSERT_TRUE(downloaded.has_value());
            EXPECT_TRUE(*downloaded == answer) << "received " << downloaded->size() << " bytes";
            // The tunnel is half-closed now: the other direction still carries everything.
            EXPECT_TRUE(SendAll(fd, upload));
            ::shutdown(fd, SHUT_WR);
            auto uploaded = received.get_future().get();
            ASSERT_TRUE(uploaded.has_value());
            EXPECT_TRUE(*uploaded == upload) << "the origin got " << uploaded->size() << " bytes";
            received = {};
        },
        [&] {
            origin = std::make_unique<OneShotOrigin>([&](int fd) {
                SendAll(fd, answer);
                ::shutdown(fd, SHUT_WR);
                received.set_value(ReceiveToEnd(fd));
            });
            return origin->Port();
        });
}

// The destination check of address literals, which no longer pass through the resolver, in
// the server's own code: a client that is not on loopback (here: a session whose peer is
// unknown) reaches neither this machine nor, like everyone, the control port.
TEST(AddressLiterals, NeitherRemoteClientsNorAnyoneReachWhatIsRefused) {
    ResetDatabase({{"anonymous_allow", "1"}}, {});
    asio::io_context io;
    DatabaseWorker database;
    const uint16_t control = FreePort();
    ProxyServer server(io, database, ServerSettings{}, ServerPorts{FreePort(), control});
    asio::ip::tcp::acceptor listening(io, {asio::ip::make_address("127.0.0.1"), 0});
    const uint16_t open = listening.local_endpoint().port();

    auto attempt = [&](bool loopbackClient, const std::string& host, uint16_t port) {
        ClientSession session(server, asio::ip::tcp::socket(io), {});
        session.clientLoopback = loopbackClient;
        std::optional<ConnectResult> result;
        asio::co_spawn(
            io,
            [&]() -> asio::awaitable<void> {
                result = co_await ConnectUpstream(session, host, port);
            },
            asio::detached);
        io.restart();
        io.run_for(std::chrono::seconds(5));
        return result;
    };
    for (const char* host :
         {"127.0.0.1", "127.3.2.1", "::1", "::ffff:127.0.0.1", "0.0.0.0", "::"}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(attempt(false, host, open), ConnectResult::kNotAllowed);
    }
    for (const char* host : {"127.0.0.1", "::ffff:127.0.0.1", "0.0.0.0"}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(attempt(true, host, control), ConnectResult::kNotAllowed);
    }
    EXPECT_EQ(attempt(true, "127.0.0.1", open), ConnectResult::kConnected);
}

TEST(ReadBuffer, GrowsOnlyWhileReadsFillItAndIsGivenBackEmpty) {
    ReadBuffer buffer(16 * 1024);
    EXPECT_EQ(buffer.Capacity(), 0u) << "no block before the first read";
    auto space = buffer.Space();
    EXPECT_EQ(space.size(), ReadBuffer::kInitialSize);
    std::memset(space.data(), 'a', 100);
    buffer.Added(100);  // a short read: no growth
    buffer.Consume(100);
    EXPECT_EQ(buffer.Space().size(), ReadBuffer::kInitialSize);

    // Reads that fill the block double it, keeping the unread bytes, up to the limit.
    std::string kept;
    for (size_t expected : {size_t{8 * 1024}, size_t{16 * 1024}}) {
        space = buffer.Space();
        const std::string fill = Pattern(space.size(), static_cast<unsigned>(expected));
        std::memcpy(space.data(), fill.data(), fill.size());
        buffer.Added(fill.size());
        kept += fill;
        buffer.Consume(kept.size() - 10);
        kept.erase(0, kept.size() - 10);
        buffer.Space();
        EXPECT_EQ(buffer.Capacity(), expected);
        EXPECT_EQ(buffer.View(), kept);
    }
    space = buffer.Space();
    buffer.Added(space.size());
    EXPECT_TRUE(buffer.Full());
    EXPECT_EQ(buffer.Capacity(), 16u * 1024) << "never beyond the limit";

    buffer.Release();
    EXPECT_EQ(buffer.Capacity(), 16u * 1024) << "kept while bytes wait";
    buffer.Consume(buffer.Size());
    buffer.Release();
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_EQ(buffer.Size(), 0u);
}

}  // namespace
}  // namespace server_test
