// Account limits with real clients.
#include <poll.h>

#include <ctime>

#include "Common/AccountDays.h"
#include "Common/AccountLimits.h"
#include "server/AccountMeter.h"
#include "server/ServerSettings.h"
#include "server_link/Replies.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

class AccountLimitsTest : public ServerTest {
protected:
    void SetUp() override {
        ResetDatabase({{"anonymous_allow", "0"}},
                      {{"amy", "pw"}, {"bob", "pw"}, {"cat", "pw"}, {"dan", "pw"}});
        Sql(kAccountLimitsSchema);
    }
    // Sets columns of a user's account_limits row ("enabled=0").
    static void Limit(const std::string& user, const std::string& columns) {
        const std::string account = "(select rowid from accounts where username='" + user + "')";
        Sql("insert or ignore into account_limits (account) select " + account + ";" +
            "update account_limits set " + columns + " where account=" + account);
    }
    // What curl tells (`format`) of the user's GET of `path` through the HTTP proxy.
    std::string Via(const std::string& user, const std::string& path,
                    const std::string& format = "%{http_code}") {
        return Curl("-o /dev/null -w " + format + " " + Http(user + ":pw") + Url(path)).output;
    }
    static int64_t Alarms(const std::string& like) {
        return Count("select count(*) from alarms where message like '" + like + "'");
    }
};

// Local noon of a day (the months are calendar months of local time).
int64_t LocalNoon(int year, int month, int day) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = 12;
    when.tm_isdst = -1;
    return std::mktime(&when);
}

// Bytes still unsaved when a month or day ends are stored for the month and day they were
// moved in, each way for the day; the new month's count starts at zero.
TEST(AccountMeters, BytesAreStoredForTheMonthAndDayTheyWereMovedIn) {
    ServerSettings settings;
    settings.month = TrafficMonth(LocalNoon(2026, 11, 30));
    settings.accounts["amy"].rowid = 7;
    settings.monthTraffic[7] = 100;
    AccountMeters meters;
    meters.Apply(settings);
    const auto amy = meters.Find("amy");
    ASSERT_NE(amy, nullptr);
    EXPECT_EQ(amy->Used(), 100u) << "the month's stored bytes";
    const auto records = [&](int64_t now) {
        std::vector<std::string> rows;
        for (const TrafficRecord& row : meters.Collect(now)) {
            rows.push_back(std::to_string(row.account) + " " + row.month + " " +
                           std::to_string(row.bytes) + " " + row.day + " " +
                           std::to_string(row.bytesUp) + "/" + std::to_string(row.bytesDown));
        }
        return rows;
    };
    using metrics::Direction;
    amy->Add(50, Direction::kUpload);
    amy->Add(4, Direction::kDownload);
    EXPECT_EQ(records(LocalNoon(2026, 11, 30)),
              std::vector<std::string>{"7 2026-11 54 2026-11-30 50/4"});
    amy->Add(30, Direction::kDownload);
    EXPECT_EQ(records(LocalNoon(2026, 12, 1)),
              std::vector<std::string>{"7 2026-11 30 2026-11-30 0/30"});
    EXPECT_EQ(amy->Used(), 0u) << "a new month";
    amy->Add(5, Direction::kUpload);
    EXPECT_EQ(records(LocalNoon(2026, 12, 1)),
              std::vector<std::string>{"7 2026-12 5 2026-12-01 5/0"});
    EXPECT_EQ(records(LocalNoon(2026, 12, 2)), std::vector<std::string>{}) << "nothing moved";
}

// The month's bytes are stored while serving and count again after a restart (dan's).
TEST_F(AccountLimitsTest, DisabledExpiredAndUsedUpAccountsAreRefusedWithTheirAlarm) {
    const std::string month = TrafficMonth(std::time(nullptr));
    Limit("amy", "enabled=0");
    Limit("bob", "expires=" + std::to_string(std::time(nullptr) - 60));
    Limit("cat", "monthly_bytes=1000");
    Sql("insert into account_traffic values (3, '" + month + "', 1000)");
    Limit("dan", "monthly_bytes=1000000, bandwidth=10000000");
    Serve();
    for (const auto& [user, why] : {std::pair{"amy", "is disabled"},
                                    {"bob", "expired after its last day %"},
                                    {"cat", "has used its monthly traffic of 1000 B"}}) {
        EXPECT_EQ(Via(user, "/hello"), "403") << user;
        EXPECT_EQ(Via(user, "/hello", "%{http_connect} -p"), "403") << user;
        EXPECT_FALSE(Client(listen_).Socks5(origin_.Port(), user, "pw")) << user;
        EXPECT_TRUE(WaitUntil([&] {
            return Alarms("login of user \"" + std::string(user) +
                          "\" from 127.0.0.1 refused: the account " + why) == 3;
        })) << user;
    }
    EXPECT_EQ(Status(Socks("dan:pw") + Url("/hello")), "200");
    ASSERT_EQ(Via("dan", "/bytes/300000"), "200");
    const std::string used =
        "select bytes from account_traffic where account=4 and month='" + month + "'";
    EXPECT_TRUE(WaitUntil([&] { return Count(used) >= 300000; })) << "written while serving";
    EXPECT_EQ(server_->Terminate(), 0);
    Limit("dan", "monthly_bytes=300000");
    Serve();
    EXPECT_EQ(Via("dan", "/hello"), "403");
    EXPECT_GE(Count(used), 300000);
    EXPECT_LT(Count(used), 310000);
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
    ASSERT_EQ(amyHttp.ReceiveUntil("hello world"), Answer("hello world"));
    Limit("amy", "enabled=0");
    Limit("bob", "expires=" + std::to_string(std::time(nullptr) + 2));
    Limit("cat", "monthly_bytes=200000");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(amy.Closed(3s) && amyConnect.Closed(3s) && amyHttp.Closed(3s)) << "at applyconf";
    EXPECT_TRUE(bob.Closed(6s)) << "when the date passes";
    // The quota crossing ends the tunnel in the middle of a transfer.
    ASSERT_TRUE(cat.Send("GET /bytes/1000000 HTTP/1.1\r\n\r\n"));
    const size_t received = cat.ReceiveToEnd().value_or("").size();
    EXPECT_GE(received, 100000u);
    EXPECT_LT(received, 1000000u);
    EXPECT_FALSE(dan.Closed(300ms));
}

// Each account's bytes per day, each way, over the control channel: oldest first, the last 90
// days only, kept in main.db across a restart; an unknown name has no days.
TEST_F(AccountLimitsTest, EachDaysTrafficIsToldOverTheControlChannelAndOutlivesARestart) {
    const int64_t now = std::time(nullptr);
    const std::string recent = TrafficDayOf(now - 10 * 86400),
                      old = TrafficDayOf(now - 100 * 86400);
    Sql(kAccountDaysSchema);
    Sql("insert into account_days values ('amy', '" + recent + "', 7, 8), ('amy', '" + old +
        "', 1, 1)");
    Serve();
    Origin answering([](Client& client) {  // 3000 bytes in, 5000 out
        if (client.ReceiveExactly(3000).size() == 3000) client.Send(std::string(5000, 'd'));
    });
    const auto move = [&] {
        Client amy(listen_);
        ASSERT_TRUE(amy.Socks5(answering.Port(), "amy", "pw"));
        ASSERT_TRUE(amy.Send(std::string(3000, 'u')));
        ASSERT_EQ(amy.ReceiveExactly(5000).size(), 5000u);
    };
    const auto days = [&](const std::string& user) {
        std::string reply;
        std::vector<std::string> rows;
        if (!link_.Traffic(user, reply)) return std::vector<std::string>{"no reply"};
        for (const TrafficDay& day :
             ReadTraffic(reply).value_or(std::vector<TrafficDay>{{"unreadable", 0, 0}})) {
            rows.push_back(day.day + " " + std::to_string(day.bytesUp) + "/" +
                           std::to_string(day.bytesDown));
        }
        return rows;
    };
    const std::string today = TrafficDayOf(std::time(nullptr));
    const std::vector<std::string> once{recent + " 7/8", today + " 3000/5000"};
    move();
    EXPECT_TRUE(WaitUntil([&] { return days("amy") == once; })) << days("amy").back();
    EXPECT_EQ(Count("select count(*) from account_days where day = '" + old + "'"), 0);
    EXPECT_EQ(days("nobody"), std::vector<std::string>{});

    Serve();  // a restart
    EXPECT_EQ(days("amy"), once);
    move();
    EXPECT_TRUE(WaitUntil([&] {
        return days("amy") == std::vector<std::string>{recent + " 7/8", today + " 6000/10000"};
    }));
}

// Two tunnels of a capped account share its bandwidth, an uncapped account beside them is not
// held. The bounds are the bucket's own: in T seconds an account moves at most its rate for
// T + 1 s (the first second's burst) plus what each session reads before it is charged, however
// slow the machine is; the clock only sets how long the test watches.
TEST_F(AccountLimitsTest, OneBandwidthIsSharedByAllSessionsOfAnAccountAndSlowsNoOtherAccount) {
    constexpr double kRate = 1000000, kUncharged = 2 * 65536;  // per session: a read in flight
    Limit("amy", "bandwidth=1000000");
    Limit("cat", "bandwidth=1000000");
    Serve();
    const auto start = std::chrono::steady_clock::now();
    const auto allowed = [&](int sessions) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        return kRate * (elapsed.count() + 1) + sessions * kUncharged;
    };
    Client amy1(listen_), amy2(listen_), cat(listen_), bob(listen_);
    std::vector<pollfd> fds;
    for (auto [client, user] :
         {std::pair{&amy1, "amy"}, {&amy2, "amy"}, {&cat, "cat"}, {&bob, "bob"}}) {
        ASSERT_TRUE(client->Socks5(origin_.Port(), user, "pw") &&
                    client->Send("GET /bytes/50000000 HTTP/1.1\r\n\r\n"));
        fds.push_back({client->fd(), POLLIN, 0});
    }
    double bytes[4] = {};
    char chunk[65536];
    // At least 4 s, so that a cap per tunnel would show; on until bob got more than a capped
    // account could and cat more than its first second (a held one runs into the 60 s bound;
    // on a loaded machine cat's first bytes may come late).
    const auto watched = start + 4s, bound = start + 60s;
    while (std::chrono::steady_clock::now() < watched ||
           ((bytes[3] <= allowed(1) || bytes[2] <= kRate) &&
            std::chrono::steady_clock::now() < bound)) {
        ::poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < fds.size(); ++i) {
            const ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) bytes[i] += double(n);
            if (n == 0) fds[i].fd = -1;
        }
    }
    EXPECT_LE(bytes[0] + bytes[1], allowed(2)) << "each of amy's tunnels has a cap of its own";
    EXPECT_LE(bytes[2], allowed(1)) << "the cap is in bytes per second";
    EXPECT_GT(bytes[3], allowed(1)) << "bob is held";
    EXPECT_GT(bytes[2], kRate) << "cat is held below its cap (its first second's burst)";
}

}  // namespace
}  // namespace server_test
