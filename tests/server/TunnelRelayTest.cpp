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

class TunnelRelay : public ServerTest {
protected:
    void SetUp() override { Start({{"anonymous_allow", "1"}}); }
    // A tunnel of each kind to an origin that serves with `serve`; the test runs once per kind.
    void ForEachKind(const std::function<void(Client&)>& serve,
                     const std::function<void(Client&)>& test) {
        for (const bool socks : {true, false}) {
            SCOPED_TRACE(socks ? "SOCKS5" : "CONNECT");
            Origin origin(serve);
            Client client(listen_, 10s);
            ASSERT_TRUE(socks ? client.Socks5(origin.Port()) : client.Connect(origin.Port()));
            test(client);
        }
    }
};

TEST_F(TunnelRelay, TheClientsBytesComeBackWholeAndItsHalfCloseEndsTheEcho) {
    const std::string sent = Pattern(3 << 20, 1);
    ForEachKind(
        [](Client& origin) {
            char chunk[65536];
            ssize_t count;
            while ((count = ::recv(origin.fd(), chunk, sizeof chunk, 0)) > 0) {
                if (!origin.Send({chunk, static_cast<size_t>(count)})) return;
            }
            origin.EndSending();
        },
        [&](Client& client) {
            // Sending and receiving at once, as the echo passes both ways at the same time.
            auto receiving = std::async(std::launch::async, [&] { return client.ReceiveToEnd(); });
            EXPECT_TRUE(client.Send(sent));
            client.EndSending();
            const auto echoed = receiving.get();
            ASSERT_TRUE(echoed.has_value()) << "no end of stream after the echo";
            EXPECT_TRUE(*echoed == sent) << "echoed " << echoed->size() << " bytes";
        });
}

TEST_F(TunnelRelay, AfterTheOriginHasEndedTheClientGoesOnSending) {
    const std::string answer = Pattern(3 << 20, 2);
    const std::string upload = Pattern(2 << 20, 3);
    std::promise<std::optional<std::string>> received;
    ForEachKind(
        [&](Client& origin) {
            origin.SetReceiveLimit(10s);
            origin.Send(answer);
            origin.EndSending();
            received.set_value(origin.ReceiveToEnd());
        },
        [&](Client& client) {
            const auto downloaded = client.ReceiveToEnd();
            EXPECT_TRUE(downloaded == answer) << "no end of stream after the answer";
            // The tunnel is half-closed now: the other direction still carries everything.
            EXPECT_TRUE(client.Send(upload));
            client.EndSending();
            const auto uploaded = received.get_future().get();
            received = {};  // for the next kind, whatever this one found
            EXPECT_TRUE(uploaded == upload) << "the origin got no end of stream or other bytes";
        });
}

// The destination check of address literals, which no longer pass through the resolver, in
// the server's own code: a client that is not on loopback (here: a session whose peer is
// unknown) reaches neither this machine nor, like everyone, the control port.
TEST(AddressLiterals, NeitherRemoteClientsNorAnyoneReachWhatIsRefused) {
    ResetDatabase({}, {});
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
