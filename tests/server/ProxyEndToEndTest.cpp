// The real server with real clients on loopback: curl through the HTTP proxy, CONNECT and
// SOCKS5; the console's own control-channel client and reply readers; main.db's rows.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <memory>
#include <regex>

#include "Common/Database.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

class ProxyEndToEnd : public ServerTest {
protected:
    void Start(const Rows& configuration = {{"anonymous_allow", "0"}}) {
        ServerTest::Start(configuration);
        client_.SetPort(control_);
        client_.SetRunningCheck([] { return true; });
    }
    std::string ConnectStatus(const std::string& arguments) {
        return Curl("-o /dev/null -w %{http_connect} -p " + arguments).output;
    }
    bool ApplyConf() {
        std::string reply;
        return client_.ApplyConf(reply) && reply.find("\"err_code\":0") != std::string::npos;
    }

    MQClient client_;
};

TEST_F(ProxyEndToEnd, HttpRequestsAreForwardedOnKeptAliveConnectionsWithTheirBodies) {
    Start();
    const auto two = Curl(Http("alice:secret") + Url("/hello") + " " + Url("/chunked"));
    EXPECT_EQ(two.exitCode, 0);
    EXPECT_EQ(two.output, "hello worldabcdefg");
    EXPECT_EQ(origin_.Connections(), 1) << "both requests on one upstream connection";
    // An origin that drops a kept-alive connection: the next request goes on a fresh one.
    EXPECT_EQ(Curl(Http("alice:secret") + Url("/bye") + " " + Url("/hello")).output,
              "byehello world");
    EXPECT_EQ(origin_.Connections(), 3);

    std::string body(300000, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
    const std::string file = InstallDir() + "/body.bin";
    { std::ofstream(file, std::ios::binary) << body; }
    const auto echoed = Curl(Http("alice:secret") + "--data-binary @" + file + " " + Url("/echo"));
    EXPECT_EQ(echoed.exitCode, 0);
    EXPECT_TRUE(echoed.output == body) << "echoed " << echoed.output.size() << " bytes";
    EXPECT_EQ(Curl(Http("alice:secret") + "-I " + Url("/bytes/5000")).exitCode, 0);
    // SOCKS5 with a name the proxy resolves.
    EXPECT_EQ(
        Curl(Socks("bob:b0b") + "http://localhost:" + std::to_string(origin_.Port()) + "/hello")
            .output,
        "hello world");
}

// No way to an origin skips the password check: the HTTP proxy, CONNECT and SOCKS5 (curl
// offers both methods when it has a credential: the login is chosen, so a wrong password stays
// wrong), with no, a wrong, an unknown and the right credential, while anonymous access is off
// and once it was switched on.
TEST_F(ProxyEndToEnd, EveryPathChecksTheSameCredentialsAndAnonymousFollowsTheSwitch) {
    Start();
    {  // a connection that logged in once is asked again for its next request
        Client client(listen_);
        client.Send(Get("/hello", Login("alice", "secret")));
        ASSERT_NE(client.ReceiveUntil("hello world").find("hello world"), std::string::npos);
        client.Send(Get("/hello"));
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 407");
    }
    int clients = 10;
    for (const bool anonymous : {false, true}) {
        if (anonymous) {
            Sql("update configuration set value='1' where key='anonymous_allow'");
            ASSERT_TRUE(ApplyConf());
        }
        for (const std::string credentials : {"", "alice:wrong", "nobody:secret", "bob:b0b"}) {
            const bool allowed = credentials == "bob:b0b" || (credentials.empty() && anonymous);
            // Each credential from an address of its own: the failures do not add up to a block.
            const std::string from = "--interface 127.0.0." + std::to_string(++clients) + " ";
            for (const std::string& path :
                 {Http(credentials), "-p " + Http(credentials), Socks(credentials)}) {
                EXPECT_EQ(Curl(from + path + Url("/hello")).output == "hello world", allowed)
                    << path << (anonymous ? " with" : " without") << " anonymous access";
            }
        }
    }
}

TEST_F(ProxyEndToEnd, UnreachableSilentAndForbiddenDestinations) {
    Start({{"anonymous_allow", "1"}, {"upstream_timeout", "1"}, {"response_timeout", "1"}});
    const uint16_t closed = FreePort();
    EXPECT_EQ(Status(Http() + Url("/", closed)), "502");
    EXPECT_EQ(Curl(Socks() + Url("/", closed)).exitCode, 97);
    EXPECT_EQ(ConnectStatus(Http() + Url("/", closed)), "502");

    EXPECT_EQ(Status(Http() + Url("/silent")), "504");

    // The control channel is never reachable through the proxy.
    EXPECT_EQ(Status(Http() + Url("/", control_)), "403");
    EXPECT_EQ(ConnectStatus(Http() + Url("/", control_)), "403");
    EXPECT_EQ(Curl(Socks() + Url("/", control_)).exitCode, 97);
    EXPECT_EQ(Status(Http() + "http://[::ffff:127.0.0.1]:" + std::to_string(control_) + "/"),
              "403");
}

// What the dashboard and the monitoring pages show, read by the console's own client and
// readers while and after curl moves bytes.
TEST_F(ProxyEndToEnd, DashboardAndMonitoringFiguresComeFromRealTraffic) {
    Start();
    Client alice(listen_);
    ASSERT_TRUE(alice.Socks5(origin_.Port(), "alice", "secret"));
    auto download = std::async(std::launch::async, [&] {
        return Curl(Http("bob:b0b") + Url("/slow/2000000")).output.size();
    });
    std::string reply;
    uint32_t rate = 0;
    EXPECT_TRUE(WaitUntil([&] {
        rate = client_.Bandwidth(reply) ? ReadBandwidth(reply).value_or(0) : 0;
        return rate > 0;
    }));
    ASSERT_TRUE(client_.Statistic(reply));
    const auto statistic = ReadStatistic(reply);
    ASSERT_TRUE(statistic);
    EXPECT_EQ(statistic->onlineUsers, 2);
    EXPECT_EQ(statistic->onlineDevices, 1);
    EXPECT_NE(statistic->totalIOBytes, "0 B");
    ASSERT_TRUE(client_.FlowRealtime(reply));
    const auto realtime = ReadFlowRealtime(reply);
    ASSERT_TRUE(realtime);
    ASSERT_EQ(realtime->size(), 2u);
    EXPECT_EQ((*realtime)[0].user, "alice");
    EXPECT_EQ((*realtime)[1].user, "bob");
    for (const auto& row : *realtime) {
        EXPECT_EQ(row.ip, "127.0.0.1");
        EXPECT_EQ(row.currentConnections, 1u);
    }
    EXPECT_NE((*realtime)[1].bytesPerSecond, "0 B/s");

    EXPECT_EQ(download.get(), 2000000u);
    ASSERT_TRUE(client_.FlowUser(reply));
    const auto users = ReadFlowUser(reply);
    ASSERT_TRUE(users);
    ASSERT_EQ(users->size(), 2u);
    EXPECT_EQ((*users)[1].user, "bob");
    EXPECT_EQ((*users)[1].totalBytes.substr(0, 4), "1.91");  // 2 000 000 bytes and the heads
    EXPECT_EQ((*users)[1].totalBytes.substr(4), " MB");
    const std::regex dateTime(R"(\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})");
    EXPECT_TRUE(std::regex_match((*users)[1].lastReportTime, dateTime));
    ASSERT_TRUE(client_.FlowIp(reply));
    const auto addresses = ReadFlowIp(reply);
    ASSERT_TRUE(addresses);
    ASSERT_EQ(addresses->size(), 1u);
    EXPECT_EQ((*addresses)[0].ip, "127.0.0.1");
    EXPECT_EQ((*addresses)[0].totalBytes, (*users)[1].totalBytes);
    ASSERT_TRUE(client_.Engine(reply));
    EXPECT_TRUE(std::regex_match(reply, dateTime)) << reply;
    ASSERT_TRUE(client_.System(reply));
    EXPECT_NE(reply.find("\"status\":\"running\""), std::string::npos) << reply;
    // The download's connection is gone: only alice is online now.
    EXPECT_TRUE(WaitUntil([&] {
        return client_.Statistic(reply) && ReadStatistic(reply) &&
               ReadStatistic(reply)->onlineUsers == 1;
    }));
}

// Tunnels end with what let them in: an account deleted or given a new password, anonymous
// access switched off; the others go on.
TEST_F(ProxyEndToEnd, ApplyConfEndsTheTunnelsOfDeletedAccountsChangedPasswordsAndAnonymous) {
    Start({{"anonymous_allow", "1"}});
    Client alice(listen_), bob(listen_), anonymous(listen_);
    ASSERT_TRUE(alice.Socks5(origin_.Port(), "alice", "secret"));
    ASSERT_TRUE(bob.Socks5(origin_.Port(), "bob", "b0b"));
    ASSERT_TRUE(anonymous.Connect(origin_.Port()));
    Sql("delete from accounts where username='bob'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(bob.Closed(3s));
    EXPECT_FALSE(alice.Closed(300ms));
    Sql("update accounts set password='1' where username='alice'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(alice.Closed(3s));
    EXPECT_FALSE(anonymous.Closed(300ms));
    Sql("update configuration set value='0' where key='anonymous_allow'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(anonymous.Closed(3s));
    EXPECT_EQ(Curl(Socks("bob:b0b") + Url("/hello")).exitCode, 97);
}

TEST_F(ProxyEndToEnd, HistoryAndAlarmRowsReachMainDbWhileTheConsoleReadsIt) {
    Start();
    ASSERT_EQ(Curl(Http("alice:secret") + Url("/hello")).exitCode, 0);
    ASSERT_EQ(Curl("-p " + Http("bob:b0b") + Url("/hello")).exitCode, 0);
    ASSERT_EQ(Curl(Socks("alice:secret") + Url("/chunked")).exitCode, 0);
    EXPECT_EQ(Status(Http("alice:nope") + Url("/hello")), "407");
    const std::string hostPort = "127.0.0.1:" + std::to_string(origin_.Port());
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 3; }));
    EXPECT_EQ(Count("select count(*) from history where user='alice' and ip=2130706433 and "
                    "url='" +
                    Url("/hello") + "'"),
              1);
    EXPECT_EQ(Count("select count(*) from history where user='bob' and url='" + hostPort + "'"), 1);
    EXPECT_EQ(Count("select count(*) from history where user='alice' and url='" + hostPort + "'"),
              1);
    EXPECT_EQ(Count("select count(*) from history where abs(time - strftime('%s','now')) > 60"), 0);
    EXPECT_TRUE(WaitUntil([&] {
        return Count(
                   "select count(*) from alarms where source='http' and "
                   "message like '%alice%127.0.0.1%'") == 1;
    }));

    // The console fills its history list over and over while the server writes.
    std::atomic<bool> reading{true};
    std::atomic<int> fills{0};
    std::thread console([&] {
        while (reading) {
            UseDatabase([&](CppSQLite3DB& db) {
                for (auto query = db.execQuery("select rowid, user, ip, url, time from history "
                                               "order by time desc");
                     !query.eof(); query.nextRow()) {
                }
            });
            ++fills;
        }
    });
    for (int i = 0; i < 40; ++i) Curl(Http("alice:secret") + Url("/hello"));
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 43; }));
    reading = false;
    console.join();
    EXPECT_GT(fills.load(), 1);

    // Retention keeps the newest rows.
    Sql("insert into configuration (key, value) values ('history_max_rows', '10')");
    ASSERT_TRUE(ApplyConf());
    Curl(Http("alice:secret") + Url("/chunked"));
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 10; }));
    EXPECT_EQ(Count("select count(*) from history where url='" + Url("/chunked") + "'"), 1);
}

// Beyond max_connections a client is turned away at once; a silent one is ended by the
// handshake time-out, a tunnel is not.
TEST_F(ProxyEndToEnd, LimitsEndSilentClientsAndConnectionsBeyondTheMaximum) {
    Start({{"anonymous_allow", "1"},
           {"handshake_timeout", "1"},
           {"max_connections", "2"},
           {"max_connections_per_ip", "2"}});
    // From addresses of their own, so that only the total is at its limit.
    Client first(listen_), silent(listen_, 4s, 0, "127.0.0.2"), third(listen_, 5s, 0, "127.0.0.3");
    ASSERT_TRUE(first.Socks5(origin_.Port()));
    EXPECT_FALSE(third.Socks5(origin_.Port()));
    EXPECT_TRUE(
        WaitUntil([&] { return Count("select count(*) from alarms where source='limit'") == 1; }));
    EXPECT_EQ(silent.ReceiveToEnd(), "");
    EXPECT_FALSE(first.Closed(200ms));
}

// Requests the console never sends get an error reply or a closed connection; the server
// goes on answering.
TEST_F(ProxyEndToEnd, BadControlRequestsGetErrorsAndTheServerGoesOn) {
    Start();
    Client control(control_, 4s);
    ASSERT_TRUE(control.Send("bogus\r\n\r\n" + std::string(300, 'a')));
    const auto received = control.ReceiveToEnd();
    const std::string error = R"({"err_code":1,"err_msg":"unknown command"})";
    EXPECT_EQ(received, std::to_string(error.size()) + "\r\n" + error +
                            std::to_string(error.size()) + "\r\n" + error)
        << "two error replies, then the endless line closes the connection";
    std::string reply;
    EXPECT_TRUE(client_.Statistic(reply));
    EXPECT_TRUE(ReadStatistic(reply));
}

}  // namespace
}  // namespace server_test
