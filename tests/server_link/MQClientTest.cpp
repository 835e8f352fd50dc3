#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <tuple>

#include "server_link/MQClient.h"
#include "tests/fakes/ScriptedChannelServer.h"

namespace {

using namespace std::chrono_literals;
using Reply = ScriptedChannelServer::Reply;

class MQClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        client.SetPort(server.port());
        client.SetRunningCheck([this] { return ++stateQueries, running.load(); });
        client.SetReceiveTimeLimit(500ms);  // keeps a stuck test short
    }

    ScriptedChannelServer server;
    MQClient client;
    std::atomic<bool> running{true};
    std::atomic<int> stateQueries{0};
    std::string reply;
};

// Each case also goes out as one of the eight operations, all on the first connection.
TEST_F(MQClientTest, ReadsTheSameBodyHoweverTheReplyIsCut) {
    std::string big(256 * 9 + 77, '\0');  // differs per piece, so a lost or repeated one shows
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + (i / 7 + i) % 26);
    std::vector<std::string> bigPieces{std::to_string(big.size()) + "\r\n"};
    for (size_t at = 0; at < big.size(); at += 256) bigPieces.push_back(big.substr(at, 256));
    const std::string nul("a\0b", 3);
    const std::tuple<bool (MQClient::*)(std::string&), const char*, Reply, std::string> cases[] = {
        {&MQClient::System, "system", Reply::Framed("{\"bytes\":27}"), "{\"bytes\":27}"},
        {&MQClient::Statistic, "statistic", Reply{{"1", "2\r\nhello", " world!"}, 40ms},
         "hello world!"},  // split inside the header
        {&MQClient::Engine, "engine", Reply{{"5\r", "\nhello"}, 40ms}, "hello"},
        {&MQClient::ApplyConf, "applyconf", Reply{bigPieces, 5ms}, big},
        {&MQClient::FlowRealtime, "flowrealtime", Reply::Raw("0\r\n"), ""},
        {&MQClient::FlowIp, "flowip", Reply::Raw("abc\r\n"), ""},  // no digits: length 0
        {&MQClient::FlowUser, "flowuser", Reply::Raw(" 3xyz\r\nabc"), "abc"},
        {&MQClient::Bandwidth, "bandwidth", Reply::Framed(nul), nul},
    };
    std::string sent;
    for (const auto& [operation, request, script, body] : cases) {
        server.SetDefaultReply(script);
        reply = "stale";
        EXPECT_TRUE((client.*operation)(reply)) << request;
        EXPECT_EQ(reply, body) << request;
        sent += request + std::string("\r\n");
    }
    EXPECT_EQ(server.received(), sent);
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(stateQueries, 8);  // one state query per command
}

// An argument goes out after one space; one that would end or cut the line is never sent.
TEST_F(MQClientTest, SendsAnArgumentOnItsCommandsLineAndRefusesOneThatWouldBreakIt) {
    server.SetDefaultReply(Reply::Framed("{}"));
    EXPECT_TRUE(client.Traffic("al ice", reply));
    EXPECT_TRUE(client.Disconnect(control::DisconnectBy::kIp, "::1", reply));
    EXPECT_TRUE(client.Connections(reply));
    for (const std::string& bad :
         {std::string("a\r\nsystem"), std::string("a\nb"), std::string("a\0b", 3), std::string()}) {
        EXPECT_FALSE(client.Traffic(bad, reply));
        EXPECT_FALSE(client.Disconnect(control::DisconnectBy::kUser, bad, reply));
    }
    EXPECT_EQ(server.received(), "traffic al ice\r\ndisconnect ip ::1\r\nconnections\r\n");
}

// The exchange fails at once; the client reconnects and asks again (late replies: below).
TEST_F(MQClientTest, ABrokenReplyIsRetriedOnceOnAFreshConnection) {
    const std::pair<const char*, Reply> cases[] = {
        {"extra bytes after the body", Reply::Raw("3\r\nabcXYZ")},
        {"peer closes mid-reply", Reply::Raw("10\r\nxyz", Reply::Close::kGraceful)},
        {"negative length", Reply::Raw("-5\r\nabcde")},
        {"length above the cap", Reply::Raw("999999999\r\nabc")},
    };
    server.SetFramedReply("statistic", "abc");
    ASSERT_TRUE(client.Statistic(reply));
    int connections = 1;
    for (const auto& [what, broken] : cases) {
        server.QueueReply("statistic", broken);
        const std::string before = server.received();
        EXPECT_TRUE(client.Statistic(reply) && reply == "abc") << what;
        EXPECT_EQ(server.acceptedConnections(), ++connections) << what;
        EXPECT_EQ(server.received(), before + "statistic\r\nstatistic\r\n") << what;
    }
}

// Both answers come late; the second connection is dropped too, so its answer is not the next's.
TEST_F(MQClientTest, ASecondFailureOrOneDeadlineForTheWholeReplyEndsTheCommand) {
    server.QueueReply("flowip", Reply::Framed("late", 700ms));
    server.QueueReply("flowip", Reply::Framed("late", 700ms));
    server.SetFramedReply("flowip", "[]");
    EXPECT_FALSE(client.FlowIp(reply));
    EXPECT_EQ(server.received(), "flowip\r\nflowip\r\n");
    EXPECT_EQ(stateQueries, 1);  // not asked again before the retry
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(client.FlowIp(reply) && reply == "[]");
    EXPECT_EQ(server.acceptedConnections(), 3);

    // The receive limit bounds the whole reply: a server that trickles a byte now and then, each
    // well within the limit, still fails the exchange once the limit has passed since the request.
    Reply trickle{{"12\r\n"}, 60ms};
    for (char c : std::string("abcdefghijkl")) trickle.pieces.emplace_back(1, c);  // 0.78 s
    server.SetReply("statistic", trickle);
    EXPECT_FALSE(client.Statistic(reply));  // 500 ms on the first connection, 500 on the retry
    EXPECT_EQ(server.received(), "flowip\r\nflowip\r\nflowip\r\nstatistic\r\nstatistic\r\n");
}

// Closing the console interrupts a command waiting on a silent server (else it would outlast the
// test's time-out); until the interruption is lifted every command fails without a byte sent.
TEST_F(MQClientTest, AnInterruptEndsAWaitingCommand) {
    client.SetReceiveTimeLimit(std::chrono::hours(1));
    server.SetReply("flowuser", Reply::Framed("never", std::chrono::hours(1)));
    auto waiting = std::async(std::launch::async, [&] {
        std::string body;
        return client.FlowUser(body);
    });
    while (server.received().empty()) std::this_thread::sleep_for(5ms);
    client.Interrupt(true);
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(client.FlowUser(reply));
    EXPECT_EQ(server.received(), "flowuser\r\n");
    client.Interrupt(false);
    server.SetFramedReply("flowuser", "[]");
    EXPECT_TRUE(client.FlowUser(reply) && reply == "[]");
}

TEST_F(MQClientTest, NothingIsSentWhileTheServiceIsNotRunningAndAServerBackIsReachedAgain) {
    server.SetFramedReply("system", "");
    server.SetFramedReply("engine", "started");
    ASSERT_TRUE(client.System(reply));
    running = false;
    EXPECT_FALSE(client.System(reply));
    std::this_thread::sleep_for(50ms);  // room for stray bytes to arrive, if any were sent
    EXPECT_EQ(server.received(), "system\r\n");
    running = true;
    EXPECT_TRUE(client.System(reply));
    EXPECT_EQ(server.acceptedConnections(), 1);
    server.Stop();
    EXPECT_FALSE(client.System(reply));  // nothing listening
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(client.System(reply));  // the next command connects again
    ASSERT_TRUE(server.Restart());
    EXPECT_TRUE(client.Engine(reply) && reply == "started");  // on its retry
    EXPECT_EQ(server.acceptedConnections(), 3);
    EXPECT_EQ(server.received(), "system\r\nsystem\r\nsystem\r\nengine\r\n");  // none twice
}

// Read to its declared length (four receives of 256 bytes), no further: the unasked bytes behind
// it are discarded before the next request, never read as its answer; the connection is kept.
TEST_F(MQClientTest, AReplyIsReadToItsDeclaredLengthAndNoFurther) {
    std::string body(1024 - 6, '\0');  // "1018\r\n" and the body: 1024 bytes
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    server.SetReply("statistic", Reply::Raw("1018\r\n" + body + "5\r\nextra"));
    server.SetFramedReply("engine", "right");
    ASSERT_TRUE(client.Statistic(reply));
    EXPECT_EQ(reply, body);
    EXPECT_TRUE(client.Engine(reply));
    EXPECT_EQ(reply, "right");
    EXPECT_EQ(server.received(), "statistic\r\nengine\r\n");
    EXPECT_EQ(server.acceptedConnections(), 1);
}

// A listener whose queue is full drops further connection attempts, so a connect waits in vain:
// the command gives up at the connect limit (without one it would outlast the test's time-out).
TEST(MQClientTerms, AConnectThatIsNeverAnsweredGivesUp) {
    const auto Socket = [] { return ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0); };
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int listener = Socket();
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 0), 0);  // never accepts
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    int fillers[4];
    for (int& filler : fillers) {  // the first fills the queue, the rest wait like the client
        filler = Socket();
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
    }
    MQClient client;
    client.SetPort(ntohs(address.sin_port));
    client.SetRunningCheck([] { return true; });
    std::string reply;
    EXPECT_FALSE(client.System(reply));
    for (int fd : fillers) ::close(fd);
    ::close(listener);
}

}  // namespace
