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

using Rows = std::vector<std::pair<std::string, std::string>>;

class ProxyEndToEnd : public ::testing::Test {
protected:
    void Start(const Rows& configuration = {{"anonymous_allow", "0"}}) {
        ResetDatabase(configuration, {{"alice", "secret"}, {"bob", "b0b"}});
        listen_ = FreePort();
        control_ = FreePort();
        server_ = std::make_unique<ServerProcess>(listen_, control_);
        ASSERT_TRUE(server_->Ready());
        client_.SetPort(control_);
        client_.SetStateSource([] { return MQClient::kServiceRunning; });
    }
    std::string Http(const std::string& credentials = "") const {
        return "-x http://127.0.0.1:" + std::to_string(listen_) +
               (credentials.empty() ? "" : " -U " + credentials) + " ";
    }
    std::string Socks(const std::string& credentials = "") const {
        return "--socks5-hostname 127.0.0.1:" + std::to_string(listen_) +
               (credentials.empty() ? "" : " -U " + credentials) + " ";
    }
    std::string Url(const std::string& path, uint16_t port = 0) const {
        return "http://127.0.0.1:" + std::to_string(port ? port : origin_.Port()) + path;
    }
    // The status code curl saw, of the request or of its CONNECT.
    std::string Status(const std::string& arguments) {
        return Curl("-o /dev/null -w %{http_code} " + arguments).output;
    }
    std::string ConnectStatus(const std::string& arguments) {
        return Curl("-o /dev/null -w %{http_connect} -p " + arguments).output;
    }

    HttpOrigin origin_;
    uint16_t listen_ = 0;
    uint16_t control_ = 0;
    std::unique_ptr<ServerProcess> server_;
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
}

TEST_F(ProxyEndToEnd, WrongPasswordsAreRefusedAndAnonymousFollowsTheSwitch) {
    Start();
    EXPECT_EQ(Status(Http("alice:wrong") + Url("/hello")), "407");
    EXPECT_EQ(Status(Http() + Url("/hello")), "407");
    EXPECT_EQ(Status(Http("nobody:secret") + Url("/hello")), "407");
    EXPECT_EQ(Curl(Socks("alice:wrong") + Url("/hello")).exitCode, 97);
    EXPECT_EQ(Curl(Socks() + Url("/hello")).exitCode, 97);
    EXPECT_EQ(Curl(Socks("bob:b0b") + Url("/hello")).output, "hello world");

    Sql("update configuration set value='1' where key='anonymous_allow'");
    std::string reply;
    ASSERT_TRUE(client_.ApplyConf(reply));
    EXPECT_EQ(Curl(Http() + Url("/hello")).output, "hello world");
    EXPECT_EQ(Curl(Socks() + Url("/hello")).output, "hello world");
    EXPECT_EQ(Status(Http("alice:wrong") + Url("/hello")), "407") << "a wrong password stays wrong";
}

TEST_F(ProxyEndToEnd, TunnelsReachATlsOriginByConnectAndBySocks5Names) {
    Start();
    TlsOrigin tls;
    ASSERT_TRUE(tls.Ready());
    const std::string url = "https://localhost:" + std::to_string(tls.Port()) + "/";
    const auto connect = Curl("-k -p " + Http("alice:secret") + url);
    EXPECT_EQ(connect.exitCode, 0);
    EXPECT_NE(connect.output.find("s_server"), std::string::npos);
    const auto socks = Curl("-k " + Socks("alice:secret") + url);
    EXPECT_EQ(socks.exitCode, 0);
    EXPECT_NE(socks.output.find("s_server"), std::string::npos);
}

TEST_F(ProxyEndToEnd, UnreachableSilentAndForbiddenDestinations) {
    Start({{"anonymous_allow", "1"}, {"upstream_timeout", "1"}, {"response_timeout", "1"}});
    const uint16_t closed = FreePort();
    EXPECT_EQ(Status(Http() + Url("/", closed)), "502");
    EXPECT_EQ(Curl(Socks() + Url("/", closed)).exitCode, 97);
    EXPECT_EQ(ConnectStatus(Http() + Url("/", closed)), "502");

    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Status(Http() + Url("/silent")), "504");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);

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
    Socks5Tunnel alice(listen_, origin_.Port(), "alice", "secret");
    ASSERT_GE(alice.fd, 0);
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

TEST_F(ProxyEndToEnd, ApplyConfEndsTheTunnelsOfDeletedAccountsAndChangedPasswords) {
    Start();
    Socks5Tunnel alice(listen_, origin_.Port(), "alice", "secret");
    Socks5Tunnel bob(listen_, origin_.Port(), "bob", "b0b");
    ASSERT_GE(alice.fd, 0);
    ASSERT_GE(bob.fd, 0);
    std::string reply;
    Sql("delete from accounts where username='bob'");
    ASSERT_TRUE(client_.ApplyConf(reply));
    EXPECT_NE(reply.find("\"err_code\":0"), std::string::npos) << reply;
    EXPECT_TRUE(bob.ClosedWithin(3s));
    EXPECT_FALSE(alice.ClosedWithin(300ms));
    Sql("update accounts set password='1' where username='alice'");
    ASSERT_TRUE(client_.ApplyConf(reply));
    EXPECT_TRUE(alice.ClosedWithin(3s));
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
    std::string reply;
    ASSERT_TRUE(client_.ApplyConf(reply));
    Curl(Http("alice:secret") + Url("/chunked"));
    EXPECT_TRUE(WaitUntil([&] { return Count("select count(*) from history") == 10; }));
    EXPECT_EQ(Count("select count(*) from history where url='" + Url("/chunked") + "'"), 1);
}

TEST_F(ProxyEndToEnd, LimitsEndSilentClientsOversizedHeadsAndConnectionsBeyondTheMaximum) {
    Start({{"anonymous_allow", "1"},
           {"handshake_timeout", "1"},
           {"max_connections", "2"},
           {"max_connections_per_ip", "2"}});
    Socks5Tunnel first(listen_, origin_.Port(), "", "");  // admitted: past the handshake
    ASSERT_GE(first.fd, 0);
    const int silent = ConnectLoopback(listen_, 4s);
    ASSERT_GE(silent, 0);
    // A third connection is turned away at once.
    Socks5Tunnel third(listen_, origin_.Port(), "", "");
    EXPECT_EQ(third.fd, -1);
    EXPECT_TRUE(
        WaitUntil([&] { return Count("select count(*) from alarms where source='limit'") == 1; }));
    // The silent one is ended by the handshake time-out; the tunnel is not.
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0);
    ::close(silent);
    EXPECT_FALSE(first.ClosedWithin(200ms));

    const std::string head =
        "GET " + Url("/hello") + " HTTP/1.1\r\nX: " + std::string(20000, 'x') + "\r\n\r\n";
    const int big = ConnectLoopback(listen_, 4s);
    ASSERT_GE(big, 0);
    ::send(big, head.data(), head.size(), MSG_NOSIGNAL);
    char answer[64] = {};
    ::recv(big, answer, sizeof answer - 1, 0);
    ::close(big);
    EXPECT_EQ(std::string(answer).substr(0, 12), "HTTP/1.1 431");
}

// Requests the console never sends get an error reply or a closed connection; the server
// goes on answering.
TEST_F(ProxyEndToEnd, BadControlRequestsGetErrorsAndTheServerGoesOn) {
    Start();
    const int fd = ConnectLoopback(control_, 4s);
    ASSERT_GE(fd, 0);
    const std::string requests = "bogus\r\n\r\n" + std::string(300, 'a');
    ::send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
    std::string received;
    char chunk[1024];
    ssize_t count;
    while ((count = ::recv(fd, chunk, sizeof chunk, 0)) > 0) received.append(chunk, count);
    ::close(fd);
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
