// Account limits with real clients: logins refused with their alarm, live sessions ended at
// each change, one bandwidth shared by an account's sessions, and the month's bytes kept in
// main.db across a restart.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>

#include "Common/AccountLimits.h"
#include "server_link/MQClient.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

class AccountLimitsTest : public ServerTest {
protected:
    void SetUp() override {
        ResetDatabase({{"anonymous_allow", "0"}},
                      {{"amy", "pw"}, {"bob", "pw"}, {"cat", "pw"}, {"dan", "pw"}});
        Sql(kAccountLimitsSchema);
        link_.SetRunningCheck([] { return true; });
    }
    // Sets columns of a user's account_limits row ("enabled=0").
    static void Limit(const std::string& user, const std::string& columns) {
        const std::string account = "(select rowid from accounts where username='" + user + "')";
        Sql("insert or ignore into account_limits (account) select " + account + ";" +
            "update account_limits set " + columns + " where account=" + account);
    }
    void Apply() {
        std::string reply;
        link_.SetPort(control_);
        ASSERT_TRUE(link_.ApplyConf(reply));
    }
    std::string Via(const char* how, const std::string& user, const std::string& path) {
        const std::string proxy = "127.0.0.1:" + std::to_string(listen_);
        const std::string url = "http://127.0.0.1:" + std::to_string(origin_.Port()) + path;
        return Curl(std::string("-o /dev/null -U ") + user + ":pw " + how + " " + proxy + " " + url)
            .output;
    }
    static int64_t Alarms(const std::string& like) {
        return Count("select count(*) from alarms where message like '" + like + "'");
    }
    static std::string Request(const std::string& path) {
        return "GET " + path + " HTTP/1.1\r\nHost: origin\r\n\r\n";
    }

    MQClient link_;
};

TEST_F(AccountLimitsTest, DisabledExpiredAndUsedUpAccountsAreRefusedWithTheirAlarm) {
    Limit("amy", "enabled=0");
    Limit("bob", "expires=" + std::to_string(std::time(nullptr) - 60));
    Limit("cat", "monthly_bytes=1000");
    Sql("insert into account_traffic values (3, '" + TrafficMonth(std::time(nullptr)) + "', 1000)");
    Limit("dan", "monthly_bytes=1000000, bandwidth=10000000");
    Serve();
    const struct {
        const char* user;
        const char* why;
    } refused[] = {{"amy", "is disabled"},
                   {"bob", "expired on %"},
                   {"cat", "has used its monthly traffic of 1000 B"}};
    for (const auto& c : refused) {
        EXPECT_EQ(Via("-w %{http_code} -x", c.user, "/hello"), "403") << c.user;
        EXPECT_EQ(Via("-w %{http_connect} -p -x", c.user, "/hello"), "403") << c.user;
        EXPECT_FALSE(Client(listen_).Socks5(origin_.Port(), c.user, "pw")) << c.user;
        EXPECT_TRUE(WaitUntil([&] {
            return Alarms("login of user \"" + std::string(c.user) +
                          "\" from 127.0.0.1 refused: the account " + c.why) == 3;
        })) << c.user;
    }
    EXPECT_EQ(Via("-w %{http_code} -x", "dan", "/hello"), "200");
    EXPECT_EQ(Via("-w %{http_code} --socks5", "dan", "/hello"), "200");
}

TEST_F(AccountLimitsTest, LiveSessionsEndWhenTheirAccountIsDisabledExpiresOrUsesItsMonth) {
    Serve();
    Client amy(listen_), bob(listen_), cat(listen_, 10s), dan(listen_);
    ASSERT_TRUE(amy.Socks5(origin_.Port(), "amy", "pw") &&
                bob.Socks5(origin_.Port(), "bob", "pw") &&
                cat.Socks5(origin_.Port(), "cat", "pw") && dan.Socks5(origin_.Port(), "dan", "pw"));
    // The account's CONNECT tunnel and kept-alive HTTP connection end with its SOCKS5 tunnel.
    Client amyConnect(listen_), amyHttp(listen_);
    ASSERT_TRUE(amyConnect.Connect(origin_.Port(), Login("amy", "pw")));
    ASSERT_TRUE(amyHttp.Send(Get("/hello", Login("amy", "pw"))));
    ASSERT_NE(amyHttp.ReceiveUntil("hello world").find("hello world"), std::string::npos);
    Limit("amy", "enabled=0");
    Limit("bob", "expires=" + std::to_string(std::time(nullptr) + 2));
    Limit("cat", "monthly_bytes=200000");
    Apply();
    EXPECT_TRUE(amy.Closed(3s) && amyConnect.Closed(3s) && amyHttp.Closed(3s)) << "at applyconf";
    EXPECT_TRUE(bob.Closed(6s)) << "when the date passes";
    // The quota crossing ends the tunnel in the middle of a transfer.
    ASSERT_TRUE(cat.Send(Request("/bytes/1000000")));
    const size_t received = cat.ReceiveToEnd().value_or("").size();
    EXPECT_GE(received, 100000u);
    EXPECT_LT(received, 1000000u);
    EXPECT_FALSE(dan.Closed(300ms));
    for (const char* why : {"amy\" is disabled", "bob\" expired on %", "cat\" has used %"}) {
        EXPECT_TRUE(WaitUntil([&] {
            return Alarms("account \"" + std::string(why) + ": its sessions end") == 1;
        })) << why;
    }
}

// Two tunnels of a capped account share its bandwidth while an uncapped one runs beside: the
// bytes received in a window after the start are counted by the test.
TEST_F(AccountLimitsTest, OneBandwidthIsSharedByAllSessionsOfAnAccountAndSlowsNoOtherAccount) {
    constexpr double kCap = 1000000;
    Limit("amy", "bandwidth=" + std::to_string(int(kCap)));
    Serve();
    Client amy1(listen_), amy2(listen_), bob(listen_);
    ASSERT_TRUE(amy1.Socks5(origin_.Port(), "amy", "pw") &&
                amy2.Socks5(origin_.Port(), "amy", "pw") &&
                bob.Socks5(origin_.Port(), "bob", "pw"));
    const std::string big = Request("/bytes/20000000"), fast = Request("/bytes/50000000");
    pollfd fds[3] = {{amy1.fd(), POLLIN, 0}, {amy2.fd(), POLLIN, 0}, {bob.fd(), POLLIN, 0}};
    for (const auto& [fd, request] :
         {std::pair{amy1.fd(), big}, {amy2.fd(), big}, {bob.fd(), fast}}) {
        ASSERT_EQ(::send(fd, request.data(), request.size(), 0), ssize_t(request.size()));
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now(), windowStart = start + 1s, end = windowStart + 5s;
    double capped = 0, uncapped = 0;
    auto uncappedEnd = end;
    char chunk[65536];
    while (Clock::now() < end) {
        ::poll(fds, 3, 100);
        for (int i = 0; i < 3; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (i == 2 && n > 0) uncapped += double(n);
            if (i < 2 && n > 0 && Clock::now() >= windowStart) capped += double(n);
            if (i == 2 && (n == 0 || uncapped >= 50000000)) {
                fds[i].fd = -1;
                uncappedEnd = Clock::now();
            }
        }
    }
    EXPECT_NEAR(capped / 5, kCap, kCap / 10);
    const double uncappedSeconds = std::chrono::duration<double>(uncappedEnd - start).count();
    EXPECT_GT(uncapped / uncappedSeconds, 4 * kCap) << "the uncapped account is not held";
}

TEST_F(AccountLimitsTest, TheMonthsBytesAreStoredWhileServingAndCountAfterARestart) {
    Serve();
    ASSERT_EQ(Via("-w %{http_code} -x", "amy", "/bytes/300000"), "200");
    const std::string month = TrafficMonth(std::time(nullptr));
    const std::string used =
        "select bytes from account_traffic where account=1 and month='" + month + "'";
    EXPECT_TRUE(WaitUntil([&] { return Count(used) >= 300000; })) << "written while serving";
    EXPECT_EQ(server_->Terminate(), 0);
    Limit("amy", "monthly_bytes=300000");
    Serve();
    EXPECT_EQ(Via("-w %{http_code} -x", "amy", "/hello"), "403");
    EXPECT_GE(Count(used), 300000);
    EXPECT_LT(Count(used), 310000);
}

}  // namespace
}  // namespace server_test
