// The server's use of main.db: the tables and rows it creates, how it reads values, and the
// bounds of what it writes.
#include "Common/AccountDays.h"
#include "Common/AccountLimits.h"
#include "Common/Database.h"
#include "Common/MainTables.h"
#include "server/DatabaseWorker.h"
#include "server/ServerSettings.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestDb.h"

namespace server_test {
namespace {

// The rows themselves are read as every program reads them (Configuration); the server adds
// the accounts, older files included, and the matcher of its networks.
TEST(ServerSettings, AFreshFileGetsTablesAndRowsAndAccountsAreReadWithTheirHashesAndLimits) {
    const std::string path = InstallDir() + "/settings.db";
    std::remove(path.c_str());
    CppSQLite3DB db;
    db.open(path.c_str());
    // A file from before the strong hashes: its accounts are all read, by their digests.
    db.execDML(kMainTablesSchema);
    db.execDML("insert into accounts values ('old', '7', ''), ('bad', '', '')");
    ServerSettings settings = LoadServerSettings(db);
    EXPECT_EQ(settings.accounts.at("old"), (ProxyAccount{1, 7u, "", {}}));
    EXPECT_EQ(settings.accounts.at("bad"), (ProxyAccount{2, std::nullopt, "", {}}));
    EXPECT_EQ(db.execQuery("select count(*) from accounts").getIntField(0), 2) << "upgraded";
    db.execDML("insert into account_limits values (1, 0, 5, null, 9)");
    EXPECT_EQ(LoadServerSettings(db).accounts.at("old").limits,
              (AccountLimits{false, 5, std::nullopt, 9u}));
    db.execDML("delete from accounts");
    EXPECT_EQ(db.execQuery("select count(*) from account_limits").getIntField(0), 0);
    EXPECT_EQ(static_cast<const Configuration&>(settings), Configuration{});
    EXPECT_TRUE(settings.allowedClients.Allows(0x7f000001u));

    db.execDML(
        "insert into accounts values ('amy', '26499', '');"
        "insert into accounts values ('amy', '1', '');"
        "insert into account_passwords values (1, '$y$hash');");
    settings = LoadServerSettings(db);
    ASSERT_EQ(settings.accounts.size(), 1u);
    EXPECT_EQ(settings.accounts.at("amy"), (ProxyAccount{1, 26499u, "$y$hash", {}}))
        << "the first row of a name wins, with its hash";
}

// While main.db is locked elsewhere, rows beyond the queue's bytes are counted as lost, not
// held; once free, the queued rows are written and the pages in use stay within the limit.
TEST(DatabaseWorker, TheQueueIsBoundedInBytesAndTheTablesInSize) {
    ResetDatabase({}, {});
    constexpr int64_t kMaxBytes = 4 << 20;
    constexpr int kRows = 40000;  // 80 MiB of URLs
    DatabaseWorker worker;
    worker.SetRetention(1000000, 100000, kMaxBytes);
    const std::string url(2048, 'u');
    ASSERT_TRUE(UseDatabase([&](CppSQLite3DB&) {
        // The worker takes a first batch and waits for the lock; the rest stay queued.
        worker.Record(AccessRecord{"u", 1, "", url, 0});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        for (int i = 1; i < kRows; ++i) worker.Record(AccessRecord{"u", 1, "", url, i});
    }));
    EXPECT_GT(worker.DroppedRows(), 0u);
    EXPECT_LT(worker.DroppedRows(), uint64_t{kRows});
    worker.Flush();
    EXPECT_GT(Count("select count(*) from history"), 0);
    EXPECT_LE(Count("select (p.page_count - f.freelist_count) * s.page_size from "
                    "pragma_page_count p, pragma_freelist_count f, pragma_page_size s"),
              kMaxBytes);
    const uint64_t dropped = worker.DroppedRows();
    for (int i = 0; i < 1000; ++i) worker.Record(AccessRecord{"u", 1, "", url, i});
    worker.Flush();
    EXPECT_EQ(worker.DroppedRows(), dropped) << "the queue's bytes counted afresh once written";
}

// While main.db cannot be written, history and alarm rows are dropped and counted by kind, but
// the accounts' bytes of the month and the day are kept, added to, and stored once it can.
TEST(DatabaseWorker, AccountsBytesOutliveAFailingDatabaseThatDropsHistory) {
    ResetDatabase({}, {{"amy", "pw"}});
    ASSERT_TRUE(UseDatabase([](CppSQLite3DB& db) { LoadServerSettings(db); }));  // its tables
    DatabaseWorker worker(DatabaseOptions{.path = {}, .busyTimeoutMs = 100, .lockWaitMs = 100});
    const auto stored = [] {
        return Count("select coalesce(sum(bytes), 0) from account_traffic where month='2026-11'");
    };
    const std::string today = TrafficDayOf(std::time(nullptr));
    ASSERT_TRUE(UseDatabase([&](CppSQLite3DB&) {
        worker.Record(TrafficRecord{1, "2026-11", 1000, today, 600, 400});
        worker.Record(AccessRecord{"amy", 1, "", "http://a/", 0});
        worker.Record(AlarmRecord{"http", "one", 0});
        ASSERT_TRUE(WaitUntil([&] { return worker.DroppedRows() == 2; }));
        worker.Record(TrafficRecord{1, "2026-11", 500, today, 0, 500});
    }));
    EXPECT_EQ(worker.DroppedHistory(), 1u);
    EXPECT_EQ(worker.DroppedAlarms(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return stored() == 1500; })) << "retried once writable";
    EXPECT_EQ(worker.DroppedTrafficBytes(), 0u);
    EXPECT_EQ(test::Rows(MainDb(), "select * from account_days"),
              std::vector<std::string>{"amy|" + today + "|600|900"});
    EXPECT_EQ(Count("select count(*) from history"), 0);
}

// An account's days stay within their bound however they came: written while the clock was
// set back (days ahead of it), or left from before the last 90 days; every account's old days
// go with the first write of a day, an account's surplus with its own writes.
TEST(DatabaseWorker, TheDaysOfEveryAccountStayWithinTheirBound) {
    const test::ScopedTimeZone utc("UTC");  // a day is 86400 s
    ResetDatabase({}, {{"amy", "pw"}, {"bob", "pw"}});
    ASSERT_TRUE(UseDatabase([](CppSQLite3DB& db) { LoadServerSettings(db); }));
    const int64_t now = std::time(nullptr);
    std::string days;
    for (int back = -20; back < 130; ++back) {  // 20 days ahead of today to 129 before it
        const std::string day = TrafficDayOf(now - int64_t{back} * 86400);
        days += "insert or ignore into account_days values ('amy', '" + day +
                "', 1, 1), ('bob', '" + day + "', 1, 1);";
    }
    Sql(days);
    DatabaseWorker worker;
    worker.Record(TrafficRecord{1, TrafficMonth(now), 3, TrafficDayOf(now), 1, 2});
    worker.Flush();
    const std::string first = FirstKeptDay(now);
    EXPECT_EQ(Count("select count(*) from account_days where username='amy'"), kKeptTrafficDays);
    EXPECT_EQ(Count("select count(*) from account_days where day < '" + first + "'"), 0);
    EXPECT_EQ(Count("select count(*) from account_days where username='bob'"), 20 + 90)
        << "bob, not written, keeps the days ahead of the clock until his own next write";
    EXPECT_EQ(test::Rows(MainDb(),
                         "select bytes_up, bytes_down from account_days where "
                         "username='amy' and day='" +
                             TrafficDayOf(now) + "'"),
              std::vector<std::string>{"2|3"});
}

}  // namespace
}  // namespace server_test
