// The real server with well-behaved clients on loopback, read by the console's own client,
// its reply readers and main.db's rows.
#include <algorithm>
#include <future>
#include <regex>

#include "server_link/Replies.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestDb.h"

namespace server_test {
namespace {

using ProxyEndToEnd = ServerTest;

// Pipelined requests are answered in order on one kept-alive upstream connection, and on a
// fresh one after the origin dropped it; a client that half-closes after its request still
// gets the whole answer; bodies pass whole (SOCKS5 names resolved by the proxy: the metrics
// cases' traffic).
TEST_F(ProxyEndToEnd, HttpRequestsAreForwardedOnKeptAliveConnectionsWithTheirBodies) {
    Start();
    const std::string alice = Login("alice", "secret");
    Client client(listen_);
    ASSERT_TRUE(client.Send(Get("/hello", alice) + Get("/chunked", alice) + Get("/bye", alice) +
                            Get("/hello", alice)));
    const std::string answers =
        Answer("hello world") + kChunkedAnswer + Answer("bye") + Answer("hello world");
    EXPECT_EQ(client.ReceiveUntil(answers), answers);
    const std::string body = Pattern(300000, 1);
    ASSERT_TRUE(client.Send("POST " + Url("/echo") + " HTTP/1.1\r\n" + alice +
                            "Content-Length: 300000\r\n\r\n" + body +
                            Get("/hello", alice + "Connection: close\r\n")));
    client.EndSending();
    EXPECT_TRUE(client.ReceiveToEnd() == Answer(body) + Answer("hello world")) << "cut short";
    EXPECT_EQ(origin_.Connections(), 2) << "one kept alive, and a fresh one after /bye";
}

// No way to an origin skips the password check: HTTP, CONNECT and SOCKS5 (curl offers both
// methods with a credential: the login is chosen, so a wrong password stays wrong), with no, a
// wrong, an unknown and the right credential, anonymous access off and on. Then tunnels end with
// what let them in (a deleted account, a new password, anonymous access); the others go on.
TEST_F(ProxyEndToEnd, EveryPathChecksTheSameCredentialsAndApplyConfEndsWhatNoLongerLetsIn) {
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
    Client alice(listen_), bob(listen_), anonymous(listen_);
    ASSERT_TRUE(alice.Socks5(origin_.Port(), "alice", "secret") &&
                bob.Socks5(origin_.Port(), "bob", "b0b") && anonymous.Connect(origin_.Port()));
    Sql("delete from accounts where username='bob'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(bob.Closed(3s));
    EXPECT_FALSE(alice.Closed(300ms));
    Sql("update accounts set password='1' where username='alice'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(alice.Closed(3s));
    EXPECT_FALSE(Client(listen_).Socks5(origin_.Port(), "alice", "secret"))
        << "her old password, remembered from before the change";
    EXPECT_FALSE(anonymous.Closed(300ms));
    Sql("update configuration set value='0' where key='anonymous_allow'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(anonymous.Closed(3s));
    EXPECT_EQ(Curl(Socks("bob:b0b") + Url("/hello")).exitCode, 97);
}

TEST_F(ProxyEndToEnd, DashboardAndMonitoringFiguresComeFromRealTraffic) {
    Start();
    Client alice(listen_);
    ASSERT_TRUE(alice.Socks5(origin_.Port(), "alice", "secret"));
    auto download = std::async(std::launch::async, [&] {
        return Curl(Http("bob:b0b") + Url("/slow/2000000")).output.size();
    });
    std::string reply;
    EXPECT_TRUE(
        WaitUntil([&] { return link_.Bandwidth(reply) && ReadBandwidth(reply).value_or(0) > 0; }));
    ASSERT_TRUE(link_.Statistic(reply));
    const auto statistic = ReadStatistic(reply).value_or(StatisticFigures{});
    EXPECT_EQ(std::tuple(statistic.onlineUsers, statistic.onlineDevices), std::tuple(2, 1));
    EXPECT_NE(statistic.totalIOBytes, "0 B");
    // A flow's rate is its last whole second's: there is one once a second has ended.
    std::vector<RealtimeFlowRow> realtime;
    EXPECT_TRUE(WaitUntil([&] {
        realtime = link_.FlowRealtime(reply) ? ReadFlowRealtime(reply).value_or(realtime)
                                             : std::vector<RealtimeFlowRow>{};
        return realtime.size() == 2 && realtime[1].bytesPerSecond != "0 B/s";
    }));
    ASSERT_EQ(realtime.size(), 2u);
    EXPECT_EQ(realtime[0].user + "|" + realtime[1].user, "alice|bob");
    for (const auto& row : realtime) {
        EXPECT_EQ(row.ip + "|" + std::to_string(row.currentConnections), "127.0.0.1|1");
    }

    EXPECT_EQ(download.get(), 2000000u);
    ASSERT_TRUE(link_.FlowUser(reply));
    const auto users = ReadFlowUser(reply).value_or(std::vector<UserFlowRow>{});
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].user + "|" + users[1].totalBytes, "bob|1.91 MB");  // and the heads
    const std::regex dateTime(R"(\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})");
    EXPECT_TRUE(std::regex_match(users[1].lastReportTime, dateTime));
    ASSERT_TRUE(link_.FlowIp(reply));
    const auto addresses = ReadFlowIp(reply).value_or(std::vector<IpFlowRow>{});
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses[0].ip + "|" + addresses[0].totalBytes, "127.0.0.1|" + users[1].totalBytes);
    ASSERT_TRUE(link_.Engine(reply));
    EXPECT_TRUE(std::regex_match(reply, dateTime)) << reply;
    ASSERT_TRUE(link_.System(reply));
    EXPECT_NE(reply.find("\"status\":\"running\""), std::string::npos) << reply;
    // The download's connection is gone: only alice is online now.
    EXPECT_TRUE(WaitUntil([&] {
        return link_.Statistic(reply) && ReadStatistic(reply) &&
               ReadStatistic(reply)->onlineUsers == 1;
    }));
}

TEST_F(ProxyEndToEnd, HistoryAndAlarmRowsReachMainDbWhileTheConsoleReadsIt) {
    Start();
    ASSERT_EQ(Curl(Http("alice:secret") + Url("/hello")).exitCode, 0);
    ASSERT_EQ(Curl("-p " + Http("bob:b0b") + Url("/hello")).exitCode, 0);
    ASSERT_EQ(Curl(Socks("alice:secret") + Url("/chunked")).exitCode, 0);
    EXPECT_EQ(Status(Http("alice:nope") + Url("/hello")), "407");
    // From ::1: the address is kept as text beside the IPv4 column's 0.
    ASSERT_EQ(Curl("-x http://[::1]:" + std::to_string(listen_) + " -U bob:b0b " + Url("/hello"))
                  .exitCode,
              0);
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 4; }));
    const std::string hostPort = "127.0.0.1:" + std::to_string(origin_.Port());
    EXPECT_EQ(test::Rows(MainDb(),
                         "select user, ip, ipv6, url from history where "
                         "abs(time - strftime('%s','now')) < 60 order by rowid"),
              (std::vector<std::string>{
                  "alice|2130706433|NULL|" + Url("/hello"), "bob|2130706433|NULL|" + hostPort,
                  "alice|2130706433|NULL|" + hostPort, "bob|0|::1|" + Url("/hello")}));
    const std::string alarm =
        "select count(*) from alarms where source='http' and message like '%alice%127.0.0.1%'";
    EXPECT_TRUE(WaitUntil([&] { return Count(alarm) == 1; }));

    // The console fills its history list over and over while the server writes: every fill
    // reads, and none sees fewer rows than the one before it.
    std::atomic<bool> reading{true};
    std::atomic<int> fills{0}, failed{0}, shrank{0};
    std::thread console([&] {
        for (int64_t before = 0; reading; ++fills) {
            const int64_t rows = Count("select count(*) from history where url like 'http%'");
            failed += rows < 0;
            shrank += rows < before;
            before = std::max(before, rows);
        }
    });
    for (int i = 0; i < 40; ++i) Curl(Http("alice:secret") + Url("/hello"));
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 44; }));
    reading = false;
    console.join();
    EXPECT_GT(fills.load(), 1);
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(shrank.load(), 0);

    // Retention keeps the newest rows.
    Sql("insert into configuration (key, value) values ('history_max_rows', '10')");
    ASSERT_TRUE(ApplyConf());
    Curl(Http("alice:secret") + Url("/chunked"));
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 10; }));
    EXPECT_EQ(Count("select count(*) from history where url='" + Url("/chunked") + "'"), 1);
}

}  // namespace
}  // namespace server_test
