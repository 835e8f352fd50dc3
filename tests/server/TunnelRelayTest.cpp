// Established tunnels (bulk bytes move by splice() once a direction has carried enough), the
// destination check of address literals, and the sessions' read buffer.
#include <sched.h>
#include <sys/wait.h>

#include <asio.hpp>
#include <cstdlib>
#include <cstring>
#include <future>

#include "server/ClientSession.h"
#include "server/DatabaseWorker.h"
#include "server/ProxyServer.h"
#include "server/ReadBuffer.h"
#include "server/SessionIo.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

using TunnelRelay = ServerTest;

// Through a tunnel of each kind, the origin's answer and the client's upload pass at once; the
// origin ends first, the client goes on sending into the half-closed tunnel, then ends too.
TEST_F(TunnelRelay, TunnelsCarryBulkBytesBothWaysAndPassEachHalfClose) {
    Start({{"anonymous_allow", "1"}});
    const std::string answer = Pattern(3 << 20, 2), upload = Pattern(2 << 20, 3);
    for (const bool socks : {true, false}) {
        SCOPED_TRACE(socks ? "SOCKS5" : "CONNECT");
        std::promise<std::optional<std::string>> uploaded;
        Origin origin([&](Client& connection) {
            connection.SetReceiveLimit(10s);
            auto receiving =
                std::async(std::launch::async, [&] { return connection.ReceiveToEnd(); });
            connection.Send(answer);
            connection.EndSending();
            uploaded.set_value(receiving.get());
        });
        Client client(listen_, 10s);
        ASSERT_TRUE(socks ? client.Socks5(origin.Port()) : client.Connect(origin.Port()));
        auto downloading = std::async(std::launch::async, [&] { return client.ReceiveToEnd(); });
        EXPECT_TRUE(client.Send(upload.substr(0, 1 << 20)));
        EXPECT_TRUE(downloading.get() == answer) << "no end of stream after the answer, or others";
        EXPECT_TRUE(client.Send(upload.substr(1 << 20)));
        client.EndSending();
        EXPECT_TRUE(uploaded.get_future().get() == upload) << "no end of stream, or other bytes";
    }
}

// Address literals skip the resolver but not the destination check: a client not on loopback (a
// session with an unknown peer) reaches no address of this machine (its LAN addresses too: here
// two added to lo in a network namespace of the test's own), nor does anyone the control port
// or the proxy port itself (a loop through it).
void CheckAddressLiterals() {
    ResetDatabase({}, {});
    asio::io_context io;
    DatabaseWorker database;
    const uint16_t control = FreePort(), proxy = FreePort(control);
    ProxyServer server(io, database, ServerSettings{}, ServerPorts{proxy, control});
    asio::ip::tcp::acceptor listening(io, {asio::ip::make_address("::"), 0});
    const uint16_t open = listening.local_endpoint().port();

    auto attempt = [&](bool loopbackClient, const std::string& host, uint16_t port) {
        ClientSession session(server, asio::ip::tcp::socket(io), {});
        session.clientLoopback = loopbackClient;
        std::optional<ConnectResult> result;
        asio::co_spawn(io, ConnectUpstream(session, host, port),
                       [&](std::exception_ptr, ConnectResult connected) { result = connected; });
        io.restart();
        io.run_for(std::chrono::seconds(5));
        return result;
    };
    for (const char* host : {"127.0.0.1", "127.3.2.1", "::1", "::ffff:127.0.0.1", "0.0.0.0",
                             "::", "10.11.12.13", "::ffff:10.11.12.13", "fd00:1::13"}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(attempt(false, host, open), ConnectResult::kNotAllowed);
    }
    for (const char* host : {"127.0.0.1", "::ffff:127.0.0.1", "0.0.0.0", "10.11.12.13"}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(attempt(true, host, control), ConnectResult::kNotAllowed);
        EXPECT_EQ(attempt(true, host, proxy), ConnectResult::kNotAllowed);
    }
    EXPECT_EQ(attempt(true, "127.0.0.1", open), ConnectResult::kConnected);
    EXPECT_EQ(attempt(true, "10.11.12.13", open), ConnectResult::kConnected);
}

TEST(AddressLiterals, NeitherRemoteClientsNorAnyoneReachWhatIsRefused) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ready = ::unshare(CLONE_NEWNET) == 0 &&
                           std::system(
                               "ip link set lo up && ip addr add 10.11.12.13/32 dev lo && "
                               "ip addr add fd00:1::13/128 dev lo nodad") == 0;
        if (ready) CheckAddressLiterals();
        ::_exit(!ready ? 2 : ::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no network namespace of its own (root needed)";
}

TEST(ReadBuffer, GrowsOnlyWhileReadsFillItKeepingItsBytesAndIsGivenBackEmpty) {
    ReadBuffer buffer(16 * 1024);
    EXPECT_EQ(buffer.Capacity(), 0u) << "no block before the first read";
    buffer.Space();
    buffer.Added(100);  // a short read: no growth
    buffer.Consume(100);
    EXPECT_EQ(buffer.Space().size(), ReadBuffer::kInitialSize);
    // A read that fills the block doubles it, keeping the bytes not yet used, up to the limit.
    const std::string fill = Pattern(ReadBuffer::kInitialSize, 1);
    std::memcpy(buffer.Space().data(), fill.data(), fill.size());
    buffer.Added(fill.size());
    buffer.Consume(fill.size() - 10);
    buffer.Space();
    EXPECT_EQ(buffer.Capacity(), 8u * 1024);
    EXPECT_EQ(buffer.View(), fill.substr(fill.size() - 10));
    for (int read = 0; read < 8 && !buffer.Full(); ++read) buffer.Added(buffer.Space().size());
    EXPECT_TRUE(buffer.Full());
    EXPECT_EQ(buffer.Capacity(), 16u * 1024) << "never beyond the limit";

    buffer.Release();
    EXPECT_EQ(buffer.Capacity(), 16u * 1024) << "kept while bytes wait";
    buffer.Consume(buffer.Size());
    buffer.Release();
    EXPECT_EQ(buffer.Capacity(), 0u);
}

}  // namespace
}  // namespace server_test
