#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "server_link/MQClient.h"
#include "service/ServiceManagerFactory.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/fakes/ScriptedChannelServer.h"

namespace {

using namespace std::chrono_literals;
using Reply = ScriptedChannelServer::Reply;
using Clock = std::chrono::steady_clock;

class MQClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        client.SetPort(server.port());
        client.SetStateSource([this] {
            ++stateQueries;
            return state.load();
        });
        client.SetReceiveTimeLimit(500ms);  // keeps a stuck test short
    }

    ScriptedChannelServer server;
    MQClient client;
    std::atomic<int> state{4};
    std::atomic<int> stateQueries{0};
    std::string reply;
};

std::string Repeat(const std::string& request, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += request;
    return all;
}

// Bytes that differ from one 256-byte piece to the next, so a lost or repeated piece shows.
std::string PatternBody(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i / 7 + i) % 26);
    return body;
}

TEST_F(MQClientTest, ReadsTheSameBodyHoweverTheReplyIsCut) {
    const std::string big = PatternBody(256 * 9 + 77);
    std::vector<std::string> bigPieces{std::to_string(big.size()) + "\r\n"};
    for (size_t at = 0; at < big.size(); at += 256) bigPieces.push_back(big.substr(at, 256));

    const struct {
        const char* what;
        Reply script;
        std::string body;
    } cases[] = {
        {"one piece", Reply::Framed("{\"bytes\":27}"), "{\"bytes\":27}"},
        {"split inside the header", Reply::Pieces({"1", "2\r\nhello", " world!"}, 40ms),
         "hello world!"},
        {"split inside the terminator", Reply::Pieces({"5\r", "\nhello"}, 40ms), "hello"},
        {"large body in one write", Reply::Framed(big), big},
        {"body in 256-byte pieces", Reply::Pieces(bigPieces, 5ms), big},
        {"zero length", Reply::Raw("0\r\n"), ""},
        {"no digits and nothing after", Reply::Raw("abc\r\n"), ""},
        {"white space and text around the digits", Reply::Raw(" 3xyz\r\nabc"), "abc"},
        {"NUL bytes in the body", Reply::Framed(std::string("a\0b", 3)), std::string("a\0b", 3)},
    };
    int sent = 0;
    for (const auto& c : cases) {
        server.SetReply("bandwidth", c.script);
        reply = "stale";
        EXPECT_TRUE(client.Bandwidth(reply)) << c.what;
        EXPECT_EQ(reply, c.body) << c.what;
        ++sent;
    }
    // One request per command, all on the first connection.
    EXPECT_EQ(server.received(), Repeat("bandwidth\r\n", sent));
    EXPECT_EQ(server.acceptedConnections(), 1);
}

TEST_F(MQClientTest, EachOperationSendsItsOwnRequest) {
    server.SetDefaultReply(Reply::Framed("ok"));
    using Operation = bool (MQClient::*)(std::string&);
    const std::pair<Operation, const char*> operations[] = {
        {&MQClient::System, "system\r\n"},
        {&MQClient::Statistic, "statistic\r\n"},
        {&MQClient::Engine, "engine\r\n"},
        {&MQClient::ApplyConf, "applyconf\r\n"},
        {&MQClient::FlowRealtime, "flowrealtime\r\n"},
        {&MQClient::FlowIp, "flowip\r\n"},
        {&MQClient::FlowUser, "flowuser\r\n"},
        {&MQClient::Bandwidth, "bandwidth\r\n"},
    };
    std::string expected;
    for (const auto& [operation, request] : operations) {
        EXPECT_TRUE((client.*operation)(reply)) << request;
        EXPECT_EQ(reply, "ok");
        expected += request;
    }
    EXPECT_EQ(server.received(), expected);
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(stateQueries, 8);
}

// Replies that break the framing: the exchange fails, the client reconnects and asks again
// once, and the good standing reply then succeeds.
TEST_F(MQClientTest, ABrokenReplyIsRetriedOnceOnAFreshConnection) {
    const struct {
        const char* what;
        Reply broken;
    } cases[] = {
        {"extra bytes after the body", Reply::Raw("3\r\nabcXYZ")},
        {"body bytes after a non-numeric header", Reply::Raw("abc\r\nxyz")},
        {"peer closes mid-reply", Reply::Raw("10\r\nxyz").ThenClose()},
        {"peer closes before the header ends", Reply::Raw("1").ThenClose()},
        {"peer resets the connection", Reply::Hangup(Reply::Close::kReset)},
        {"negative length", Reply::Raw("-5\r\nabcde")},
        {"length above the cap", Reply::Raw("999999999\r\nabc")},
    };
    int connections = 1;
    server.SetFramedReply("statistic", "abc");
    ASSERT_TRUE(client.Statistic(reply));
    for (const auto& c : cases) {
        server.QueueReply("statistic", c.broken);
        const std::string before = server.received();
        const auto start = Clock::now();
        EXPECT_TRUE(client.Statistic(reply)) << c.what;
        // Failing is immediate: no receive time-out is waited for.
        EXPECT_LT(Clock::now() - start, 400ms) << c.what;
        EXPECT_EQ(reply, "abc") << c.what;
        ++connections;
        EXPECT_EQ(server.acceptedConnections(), connections) << c.what;
        EXPECT_EQ(server.received(), before + "statistic\r\nstatistic\r\n") << c.what;
    }
}

TEST_F(MQClientTest, ASecondFailureEndsTheCommandWithoutAThirdTry) {
    server.SetReply("flowip", Reply::Raw("3\r\nabcXYZ"));
    EXPECT_FALSE(client.FlowIp(reply));
    EXPECT_EQ(server.received(), "flowip\r\nflowip\r\n");
    EXPECT_EQ(server.acceptedConnections(), 2);
    EXPECT_EQ(stateQueries, 1);  // asked once per command, not again before the retry
    // The second connection stays open; the next command starts on it.
    EXPECT_TRUE(client.isConnected());
    server.SetFramedReply("flowip", "[]");
    EXPECT_TRUE(client.FlowIp(reply));
    EXPECT_EQ(reply, "[]");
    EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST_F(MQClientTest, AReceiveTimeLimitFailsTheExchange) {
    client.SetReceiveTimeLimit(150ms);
    server.QueueReply("engine", Reply::Framed("late", 600ms));
    server.SetFramedReply("engine", "2026-12-6 9:00:00");
    const auto start = Clock::now();
    EXPECT_TRUE(client.Engine(reply));
    EXPECT_LT(Clock::now() - start, 550ms);
    EXPECT_EQ(reply, "2026-12-6 9:00:00");
    EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST_F(MQClientTest, ResetConnectionsNeverEndTheProcess) {
    // Both exchanges are reset; the second connection stays "open" though dead, so the next
    // command writes to a reset socket first.
    server.SetDefaultReply(Reply::Hangup(Reply::Close::kReset));
    EXPECT_FALSE(client.System(reply));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(client.System(reply));
    server.SetDefaultReply(Reply::Framed("up"));
    EXPECT_TRUE(client.System(reply));
    EXPECT_EQ(reply, "up");
}

TEST_F(MQClientTest, NothingListeningFailsWithinASecondAndTheNextCommandConnectsAgain) {
    server.SetFramedReply("system", "");
    server.Stop();
    const auto start = Clock::now();
    EXPECT_FALSE(client.System(reply));
    EXPECT_LT(Clock::now() - start, 1200ms);
    EXPECT_FALSE(client.isConnected());

    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(client.System(reply));
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(server.received(), "system\r\n");
}

TEST_F(MQClientTest, AfterAServerRestartTheCommandSucceedsOnItsRetry) {
    server.SetFramedReply("system", "");
    server.SetFramedReply("engine", "started");
    ASSERT_TRUE(client.System(reply));
    ASSERT_TRUE(server.Restart());
    EXPECT_TRUE(client.Engine(reply));
    EXPECT_EQ(reply, "started");
    EXPECT_EQ(server.acceptedConnections(), 2);
    // The request on the dead connection never reached the new server.
    EXPECT_EQ(server.received(), "system\r\nengine\r\n");
}

TEST_F(MQClientTest, WithTheServiceNotRunningNothingIsSentAndTheConnectionIsKept) {
    server.SetFramedReply("statistic", "{}");
    ASSERT_TRUE(client.Statistic(reply));
    for (int notRunning : {0, 1, 2, 3, 5, -1}) {
        state = notRunning;
        EXPECT_FALSE(client.Statistic(reply)) << notRunning;
        EXPECT_FALSE(client.ApplyConf(reply)) << notRunning;
    }
    std::this_thread::sleep_for(50ms);  // room for stray bytes to arrive, if any were sent
    EXPECT_EQ(server.received(), "statistic\r\n");
    EXPECT_TRUE(client.isConnected());

    state = 4;
    EXPECT_TRUE(client.Statistic(reply));
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(server.received(), "statistic\r\nstatistic\r\n");
}

TEST_F(MQClientTest, AStoppedServiceIsNeverConnectedTo) {
    state = 1;
    EXPECT_FALSE(client.Statistic(reply));
    EXPECT_FALSE(client.isConnected());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server.acceptedConnections(), 0);
}

// Without a seam the client asks the process's service manager through a fresh ProxyCtrl.
TEST_F(MQClientTest, TheDefaultStateSourceIsTheProxyService) {
    auto manager = std::make_shared<FakeServiceManager>();
    manager->SetInstalled(raw_state::kPaused);  // reads as stopped
    SetDefaultServiceManager(manager);
    struct Restore {
        ~Restore() { SetDefaultServiceManager(nullptr); }
    } restore;
    client.SetStateSource(nullptr);
    server.SetFramedReply("system", "");

    EXPECT_FALSE(client.System(reply));
    EXPECT_EQ(server.acceptedConnections(), 0);
    manager->SetState(raw_state::kRunning);
    EXPECT_TRUE(client.System(reply));
    EXPECT_EQ(server.received(), "system\r\n");
    EXPECT_EQ(manager->calls().query, 2);
    EXPECT_EQ(manager->OpenHandles(), 0);
}

TEST(MQClientSingleton, IsOneClientPerProcess) {
    MQClient* first = MQClientSingleton::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, MQClientSingleton::instance());
    EXPECT_FALSE(first->isConnected());
}

}  // namespace
