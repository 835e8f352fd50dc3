#include <regex>

#include "Common/Database.h"
#include "Common/MainTables.h"
#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"
#include "Common/UserConf.h"
#include "tests/Common/TestSupport.h"
#include "tests/support/ScopedOverrides.h"

namespace {

using Lines = std::vector<std::string>;

// A fresh main.db with the tables, and UserConf as a new process has it.
class UserConfTest : public testing::Test {
protected:
    void SetUp() override {
        conf_.anonymousAllow = 1;
        conf_.accounts.clear();
    }
    Lines Rows(const std::string& sql) const { return install_.Rows(sql); }
    Lines Accounts() const {
        return Rows("select rowid, username, password from accounts order by rowid");
    }
    bool HashOf(int64_t rowid, const std::string& password) const {
        const Lines hash =
            Rows("select hash from account_passwords where account=" + std::to_string(rowid));
        return hash.size() == 1 && CheckPasswordHash(hash[0], password) == HashCheck::kMatch;
    }
    Lines MapKeys() const {
        Lines keys;
        for (const auto& [name, account] : conf_.accounts) keys.push_back(name);
        return keys;
    }
    test::ScopedInstall install_;
    UserConf& conf_ = UserConf::instance();
};

// Memory follows what is stored (a missing row is stored as 0), never what it held before;
// how stored texts read: ConfigurationTest.
TEST_F(UserConfTest, TheAnonymousSwitchFollowsTheStoredRow) {
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(conf_.anonymousAllow, 0);
    EXPECT_EQ(Rows("select value from configuration where key='anonymous_allow'"), Lines{"0"});
    install_.Sql("update configuration set value='1' where key='anonymous_allow'");
    conf_.load();
    EXPECT_EQ(conf_.anonymousAllow, 1);
}

// Names and passwords go in as bound values; the create time in the server's form. A rename
// without a password keeps digest and hash, a new password replaces both; another account's
// name is refused. Taken names, vanished accounts and deletion: AccountPageTest.
TEST_F(UserConfTest, AddAndModifyStoreNamesVerbatimWithDigestTimeAndHash) {
    conf_.load();
    Lines stored;
    for (const std::string name : {"o'brien", "'; drop table accounts; --", "%s%n"}) {
        ASSERT_EQ(conf_.addAccount(name, name), AccountChange::kDone) << name;
        stored.push_back(name + "|" + std::to_string(PasswordDigest(name)) + "|text");
    }
    EXPECT_EQ(Rows("select username, password, typeof(password) from accounts order by rowid"),
              stored);
    const std::string time = Rows("select create_time from accounts where rowid=1")[0];
    EXPECT_TRUE(
        std::regex_match(time, std::regex(R"(\d{4}-[1-9]\d?-[1-9]\d? \d{1,2}:\d{1,2}:\d{1,2})")))
        << time;
    EXPECT_EQ(conf_.modifyAccount(1, "ann", ""), AccountChange::kDone);
    EXPECT_EQ(Accounts()[0], "1|ann|" + std::to_string(PasswordDigest("o'brien")));
    EXPECT_TRUE(HashOf(1, "o'brien"));
    EXPECT_EQ(conf_.modifyAccount(1, "ann", "abc"), AccountChange::kDone);
    EXPECT_EQ(Accounts()[0], "1|ann|26499");
    EXPECT_TRUE(HashOf(1, "abc"));
    EXPECT_FALSE(HashOf(1, "`r")) << "the digest's collision";
    EXPECT_EQ(conf_.accounts["ann"].createTime, time);  // the map was reloaded
    const Lines before = Accounts();
    EXPECT_EQ(conf_.modifyAccount(1, "%s%n", "x"), AccountChange::kNameTaken);  // another's
    EXPECT_EQ(Accounts(), before);
}

TEST_F(UserConfTest, TheFirstStoredRowOfANameWinsAndALoadFailureKeepsWhatWasRead) {
    install_.Sql(
        "insert into accounts values ('bob', '1', '2025-1-1 0:0:0'), ('bob', '2', 't'),"
        " ('amy', '3', 't')");
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(MapKeys(), (Lines{"amy", "bob"}));
    EXPECT_EQ(conf_.accounts["bob"].password, "1");
    EXPECT_EQ(conf_.accounts["bob"].rowid, 1);

    install_.Sql("drop table accounts");
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_TRUE(conf_.accounts.empty());
}

// A main.db from before the strong hashes: every row stays, the console's statements work on
// it, and the hash table's triggers keep it true whoever changes accounts afterwards.
TEST_F(UserConfTest, AnOlderFileIsUpgradedInPlaceAndKeepsEveryAccount) {
    install_.Sql("insert into accounts values ('old', '26499', 't'), ('older', '1', 't')");
    conf_.load();
    EXPECT_EQ(MapKeys(), (Lines{"old", "older"}));
    ASSERT_EQ(conf_.addAccount("new", "pw"), AccountChange::kDone);
    EXPECT_EQ(Accounts(),
              (Lines{"1|old|26499", "2|older|1", "3|new|" + std::to_string(PasswordDigest("pw"))}));
    EXPECT_EQ(Rows("select account from account_passwords"), Lines{"3"});
    // A tool that knows only the digest sets a password: the stale hash goes with it.
    install_.Sql("update accounts set password='7' where rowid=3");
    conf_.modifyAccount(1, "old", "pw1");
    conf_.deleteAccount(1);
    EXPECT_EQ(Rows("select account from account_passwords"), Lines{});
}

// An account's days of traffic are kept under its name: a rename takes them along, a delete
// takes them away (unless another row holds the same name), whoever changes accounts.
TEST_F(UserConfTest, AnAccountsDaysFollowItsRenameAndGoWithIt) {
    ASSERT_TRUE(UseDatabase(UpgradeMainTables));  // as the console's start does
    install_.Sql(
        "insert into accounts values ('amy', '1', 't'), ('bob', '1', 't'), ('bob', '2', 't');"
        "insert into account_days values ('amy', '2026-12-07', 1, 2), ('amy', '2026-12-08', 3, 4),"
        " ('bob', '2026-12-08', 5, 6)");
    conf_.load();
    const auto days = [this] {
        return Rows("select username, day from account_days order by username, day");
    };
    ASSERT_EQ(conf_.modifyAccount(1, "ann", ""), AccountChange::kDone);
    EXPECT_EQ(days(), (Lines{"ann|2026-12-07", "ann|2026-12-08", "bob|2026-12-08"}));
    install_.Sql("delete from accounts where rowid = 3");  // the other "bob" stays
    EXPECT_EQ(days().size(), 3u);
    conf_.deleteAccount(1);
    conf_.deleteAccount(2);
    EXPECT_EQ(days(), Lines{});
}

// Another process holds the database: every change fails as such, the switch silently.
TEST_F(UserConfTest, ABusyDatabaseFailsEveryChange) {
    conf_.load();
    conf_.addAccount("bob", "b");
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder;
    holder.open(install_.Db().c_str());
    holder.execDML("begin exclusive");
    EXPECT_EQ(conf_.addAccount("cat", "c"), AccountChange::kFailed);
    EXPECT_EQ(conf_.modifyAccount(1, "bo", "b"), AccountChange::kFailed);
    test::LogCapture log;
    EXPECT_FALSE(conf_.saveAnonymous());
    EXPECT_EQ(log.lines, Lines{});
    conf_.deleteAccount(1);
    holder.execDML("rollback");
    EXPECT_EQ(Rows("select username from accounts"), Lines{"bob"});
}

TEST(CompareCreateTimes, OrdersByTheTimeNamedAndPutsOtherTextsFirst) {
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    // Rows: a, b, sign of a - b.
    const std::tuple<const char*, const char*, int> cases[] = {
        {"2025-9-1 8:0:0", "2025-10-1 8:0:0", -1},
        {"2025-10-1 8:0:0", "2025-10-1 8:0:0", 0},
        {"2025-1-1 0:0:59", "2025-1-1 0:1:0", -1},
        {"garbage", "2025-1-1 0:0:0", -1},
        {"2025-1-1 0:0:0 ", "2025-1-1 0:0:0", -1},  // trailing text: not a time
        {"b", "a", 1},
    };
    for (const auto& [a, b, order] : cases) {
        EXPECT_EQ(sign(CompareCreateTimes(a, b)), order) << a << " vs " << b;
        EXPECT_EQ(sign(CompareCreateTimes(b, a)), -order) << b << " vs " << a;
    }
}

// The expiry date is the last day the account works: it is refused from 0:00 local time of the
// next day, across a month's and a year's end and a daylight-saving night; a stored midnight
// reads back as the day before it, and so round-trips.
TEST(AccountExpiry, TheLastDayWorksUntilTheNextMidnightLocalTime) {
    const test::ScopedTimeZone berlin("Europe/Berlin");
    const AccountLimits none;
    // Rows: last day, the refusal instant (UTC seconds).
    const std::pair<CalendarDay, int64_t> rows[] = {
        {{2026, 12, 7}, 1796684400},   // 2026-12-08 00:00 CET
        {{2026, 12, 31}, 1798758000},  // 2027-01-01 00:00 CET
        {{2026, 3, 28}, 1774738800},   // 2026-03-29 00:00 CET, the night clocks go forward
        {{2026, 10, 24}, 1792879200},  // 2026-10-25 00:00 CEST, the night they go back
    };
    for (const auto& [last, refused] : rows) {
        const int64_t expires = ExpiryForLastDay(last);
        EXPECT_EQ(expires, refused) << last.month << "-" << last.day;
        EXPECT_EQ(LastDayBeforeExpiry(expires), last);
        AccountLimits limits = none;
        limits.expires = expires;
        EXPECT_EQ(StateOf(limits, 0, refused - 1), AccountState::kEnabled);
        EXPECT_EQ(StateOf(limits, 0, refused), AccountState::kExpired);
    }
}

}  // namespace
