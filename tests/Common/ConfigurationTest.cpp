// The configuration rows of main.db as every program reads and writes them.
#include <climits>
#include <functional>

#include "Common/Configuration.h"
#include "Common/Database.h"
#include "Common/MainTables.h"
#include "tests/Common/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

class ConfigurationTest : public testing::Test {
protected:
    Configuration Load(const Configuration& fallback = {}, Lines* repaired = nullptr) {
        Configuration config;
        EXPECT_TRUE(UseDatabase(
            [&](CppSQLite3DB& db) { config = LoadConfiguration(db, fallback, repaired); }));
        return config;
    }
    bool Update(const std::function<void(Configuration&)>& change) {
        return UseDatabase([&](CppSQLite3DB& db) { UpdateConfiguration(db, change); });
    }
    Lines Rows() const { return install_.Rows("select * from configuration order by key"); }
    test::ScopedInstall install_;
};

// A missing or null main row is stored from the fallback and read as stored; the limits are
// optional rows, read as the fallback's and never stored by a load.
TEST_F(ConfigurationTest, MissingMainRowsAreStoredFromTheFallbackAndLimitsAreNot) {
    install_.Sql("insert into configuration values ('lang', NULL), ('listen_port', '9000')");
    Configuration fallback;
    fallback.language = "en";
    fallback.listenPort = 1234;
    fallback.idleTimeoutSec = 77;
    Lines repaired;
    const Configuration config = Load(fallback, &repaired);
    EXPECT_EQ(repaired, (Lines{"torvoagent_allow", "anonymous_allow", "lang", "allowed_networks"}));
    EXPECT_EQ(Rows(),
              (Lines{std::string("allowed_networks|") + kDefaultClientNetworks, "anonymous_allow|0",
                     "lang|en", "listen_port|9000", "torvoagent_allow|0"}));
    EXPECT_EQ(config.listenPort, 9000);
    EXPECT_EQ(config.language, "en");
    EXPECT_EQ(config.idleTimeoutSec, 77);
    EXPECT_EQ(config.historyMaxRows, Configuration{}.historyMaxRows);

    repaired.clear();
    EXPECT_EQ(Load(fallback, &repaired), config);
    EXPECT_EQ(repaired, Lines{}) << "nothing left to store";
}

// Stored texts are read leniently, each by its kind; no text is an error.
TEST_F(ConfigurationTest, StoredTextsReadLenientlyByTheirKind) {
    struct Case {
        const char* key;
        const char* stored;
        std::function<bool(const Configuration&)> read;
    };
    const Case cases[] = {
        {"listen_port", "0", [](auto& c) { return c.listenPort == 0 && c.ServedPort() == 8089; }},
        {"listen_port", " 70000x", [](auto& c) { return c.listenPort == 4464; }},
        {"listen_port", "http", [](auto& c) { return c.listenPort == 0; }},
        {"torvoagent_allow", "0", [](auto& c) { return c.torvoAgentAllow == 0; }},
        {"torvoagent_allow", "2",
         [](auto& c) { return c.torvoAgentAllow == 2 && !c.TorvoAgentAllowed(); }},
        {"torvoagent_allow", " 1", [](auto& c) { return c.TorvoAgentAllowed(); }},
        {"anonymous_allow", "01", [](auto& c) { return c.anonymousAllowed; }},
        {"anonymous_allow", "2", [](auto& c) { return !c.anonymousAllowed; }},
        {"anonymous_allow", "yes", [](auto& c) { return !c.anonymousAllowed; }},
        {"allowed_networks", "", [](auto& c) { return c.allowedNetworks.empty(); }},
        {"idle_timeout", "-5", [](auto& c) { return c.idleTimeoutSec == 300; }},
        {"max_connections", "7x", [](auto& c) { return c.maxConnections == 7; }},
        {"max_connections", "99999999999", [](auto& c) { return c.maxConnections == INT_MAX; }},
        {"database_max_mb", "9999999999999", [](auto& c) { return c.databaseMaxMb == 1 << 30; }},
    };
    for (const Case& c : cases) {
        install_.Sql("delete from configuration; insert into configuration values ('" +
                     std::string(c.key) + "', '" + c.stored + "')");
        EXPECT_TRUE(c.read(Load())) << c.key << " = \"" << c.stored << "\"";
    }
}

// Only what the change changed is written, inside one transaction: a refused row leaves all
// rows as they were, and a row another program wrote meanwhile keeps its text.
TEST_F(ConfigurationTest, AnUpdateWritesWhatChangedAllOrNothing) {
    Load();
    install_.Sql("update configuration set value=' 8123 ' where key='listen_port'");
    ASSERT_TRUE(Update([](Configuration& c) {
        c.anonymousAllowed = true;
        c.idleTimeoutSec = 60;
        c.historyMaxRows = Configuration{}.historyMaxRows;
    }));
    EXPECT_EQ(install_.Value("listen_port"), " 8123 ") << "not rewritten";
    EXPECT_EQ(install_.Value("anonymous_allow"), "1");
    EXPECT_EQ(install_.Value("idle_timeout"), "60");
    EXPECT_EQ(install_.Rows("select count(*) from configuration where key='history_max_rows'"),
              Lines{"0"});

    const Lines before = Rows();
    install_.Sql(
        "create trigger refuse before update on configuration when new.key = 'lang'"
        " begin select raise(abort, 'refused'); end");
    EXPECT_FALSE(Update([](Configuration& c) {
        c.listenPort = 9191;
        c.allowedNetworks = "10.0.0.0/8";
        c.language = "en";
    }));
    EXPECT_EQ(Rows(), before);
}

// A new file gets every table and the main rows; an older one only what it misses.
TEST_F(ConfigurationTest, PreparingMakesANewFileUsableAndKeepsAnOlderOnesRows) {
    const std::string path = install_.file("new.db");
    Configuration fallback;
    fallback.language = "en";
    ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& db) { PrepareMainDb(db, fallback); },
                            DbFailure::kSilent, DatabaseOptions{.path = path}));
    EXPECT_EQ(test::Rows(path, "select name from sqlite_master where type='table' order by name"),
              (Lines{"account_days", "account_limits", "account_passwords", "account_traffic",
                     "accounts", "alarms", "configuration", "history"}));
    EXPECT_EQ(test::Rows(path, "select value from configuration where key='lang'"), Lines{"en"});
    test::Sql(path, "update configuration set value='7' where key='listen_port'");
    ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& db) { PrepareMainDb(db); }, DbFailure::kSilent,
                            DatabaseOptions{.path = path}));
    EXPECT_EQ(test::Rows(path,
                         "select value from configuration where key in ('lang', "
                         "'listen_port') order by key"),
              (Lines{"en", "7"}));
}

// A main.db of an older build gains the added columns once, in one transaction: its rows stay
// as they were, and an upgrade that fails part way leaves the whole file as it was.
TEST_F(ConfigurationTest, AnOlderFileIsUpgradedOnceAndWhollyOrNotAtAll) {
    const auto prepare = [](const std::string& path) {
        return UseDatabase([](CppSQLite3DB& db) { PrepareMainDb(db); }, DbFailure::kSilent,
                           DatabaseOptions{.path = path});
    };
    const std::string older = install_.file("older.db");
    test::Sql(older,
              "create table history (user text, ip integer, url text, time integer);"
              "insert into history values ('bob', 3232235777, 'a.example', 5);"
              "create table accounts (username text, password text, create_time text);");
    ASSERT_TRUE(prepare(older));
    EXPECT_EQ(test::Rows(older, "select * from history"), Lines{"bob|3232235777|a.example|5|NULL"});
    EXPECT_EQ(test::Rows(older, "pragma user_version"), Lines{std::to_string(kMainTablesVersion)});
    test::Sql(older, "insert into history (user, ipv6) values ('amy', '::1')");
    ASSERT_TRUE(prepare(older));  // nothing more to do: no second column, no error
    EXPECT_EQ(test::Rows(older, "select count(*) from pragma_table_info('history')"), Lines{"5"});

    // "history" a view: its column cannot be added, so nothing of the upgrade stays.
    const std::string odd = install_.file("odd.db");
    test::Sql(odd, "create view history as select 1 as user");
    const auto schema = [&odd] { return test::Rows(odd, "select name from sqlite_master"); };
    EXPECT_FALSE(prepare(odd));
    EXPECT_EQ(schema(), Lines{"history"});
    EXPECT_EQ(test::Rows(odd, "pragma user_version"), Lines{"0"});
}

}  // namespace
