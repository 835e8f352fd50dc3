#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "tests/Common/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;
const auto W = [](const std::string& text) { return "W Common/SystemConf.cpp: " + text; };
const auto E = [](const std::string& text) { return "E Common/SystemConf.cpp: " + text; };

// A fresh install (main.db with the tables, version.ini) and SystemConf at its initial values.
class SystemConfTest : public testing::Test {
protected:
    void SetUp() override {
        test::WriteText(install_.file("version.ini"),
                        "[TorvoProxy]\nplatform=x64\nversion=3.0.1 #7\n");
        conf_.serverVersion = "3.0.0";
        conf_.torvoAgentAllow = 1;
        conf_.listenPort = 8089;
        conf_.language = "zh";
    }
    void Store(const std::string& sql) {
        ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& db) { db.execDML(sql.c_str()); }));
    }
    Lines Configuration() const {
        return install_.Rows("select * from configuration order by key");
    }
    test::ScopedInstall install_;
    SystemConf& conf_ = SystemConf::instance();
};

TEST_F(SystemConfTest, AnEmptyTableAndNullValuesAreRepairedFromMemory) {
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|8089", "torvoagent_allow|0"}));
    EXPECT_EQ(log.lines,
              (Lines{E("failed to load listen port from db"),
                     W("the proxy server allow torvo agent: 1"), E("failed to load lang from db"),
                     W("the proxy server listen port: 8089, server version: 3.0.1")}));
    // NULL values (even twice for one key) give way to one row each with what memory holds.
    Store("update configuration set value=NULL; insert into configuration values ('lang', NULL)");
    conf_.listenPort = 9000;
    conf_.language = "en";
    conf_.load();
    EXPECT_EQ(Configuration(), (Lines{"lang|en", "listen_port|9000", "torvoagent_allow|0"}));
}

TEST_F(SystemConfTest, StoredValuesAreReadAsTheyAreAndSaveWritesWhatMemoryHolds) {
    Store(
        "insert into configuration values ('listen_port', '8123'), ('torvoagent_allow', '0'),"
        " ('lang', 'en')");
    test::LogCapture log;
    conf_.load();
    // A stored 0 reads as 0 and a save writes 0 back: the switch never turns itself on.
    EXPECT_EQ(conf_.torvoAgentAllow, 0);
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(log.lines,
              (Lines{W("the proxy server listen port is: 8123"),
                     W("the proxy server allow torvo agent: 0"), W("the ui language is: en"),
                     W("the proxy server listen port: 8123, server version: 3.0.1")}));
    conf_.listenPort = 9191;
    conf_.language = "zh";
    EXPECT_TRUE(conf_.save());
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|9191", "torvoagent_allow|0"}));
    // Numbers are read the atoi way: leading digits count, anything else reads 0.
    for (const auto& [stored, expected] :
         std::vector<std::pair<std::string, int>>{{"1", 1}, {" 1x", 1}, {"yes", 0}}) {
        Store("update configuration set value='" + stored + "' where key='torvoagent_allow'");
        conf_.load();
        EXPECT_EQ(conf_.torvoAgentAllow, expected) << stored;
    }
}

TEST_F(SystemConfTest, TheLanguageSwitchWritesTheLanguageAlone) {
    Store(
        "insert into configuration values ('listen_port', '8089'), ('torvoagent_allow', '0'),"
        " ('lang', 'zh')");
    conf_.load();
    // Another writer (the settings page, another program) changes port and switch meanwhile.
    Store(
        "update configuration set value='9999' where key='listen_port';"
        "update configuration set value='1' where key='torvoagent_allow'");
    EXPECT_TRUE(conf_.saveLanguage("en"));
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(Configuration(), (Lines{"lang|en", "listen_port|9999", "torvoagent_allow|1"}));
}

TEST_F(SystemConfTest, ASaveThatFailsPartWayChangesNothingAndLogsNothing) {
    Store(
        "insert into configuration values ('listen_port', '8089'), ('torvoagent_allow', '0'),"
        " ('lang', 'zh');"
        "create trigger refuse_lang before update on configuration when new.key = 'lang'"
        " begin select raise(abort, 'refused'); end");
    conf_.load();
    conf_.listenPort = 9191;
    conf_.torvoAgentAllow = 1;
    conf_.language = "en";
    // The last of the three updates fails: the first two are rolled back with it, silently.
    test::LogCapture log;
    EXPECT_FALSE(conf_.save());
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|8089", "torvoagent_allow|0"}));
    EXPECT_EQ(log.lines, Lines{});
}

// Every connection of the console waits up to a minute for a database another program holds.
TEST_F(SystemConfTest, ConnectionsWaitAMinuteForABusyDatabase) {
    EXPECT_EQ(DefaultBusyTimeoutMs(), 60000);
    int timeout = 0;
    ASSERT_TRUE(UseDatabase(
        [&](CppSQLite3DB& db) { timeout = db.execQuery("PRAGMA busy_timeout").getIntField(0); }));
    EXPECT_EQ(timeout, 60000);
}

TEST_F(SystemConfTest, ABusyDatabaseIsLoggedOnceAndTheVersionFileStillRead) {
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder, waiter;  // the holder writes outside the lock, as a foreign process
    holder.open(install_.Db().c_str());
    holder.execDML("begin exclusive; insert into configuration values ('x', 'y')");
    waiter.setBusyTimeout(50);
    waiter.open(install_.Db().c_str());
    EXPECT_EQ(test::MessageOf([&] { waiter.execQuery("select value from configuration"); }),
              "SQLITE_BUSY[5]: database is locked");
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(log.lines, (Lines{E("sqlite exception, error code: SQLITE_BUSY, error message: "
                                  "SQLITE_BUSY[5]: database is locked"),
                                W("the proxy server listen port: 8089, server version: 3.0.1")}));
}

TEST_F(SystemConfTest, AMissingVersionFileOrPlatformSectionIsLoggedAndKeepsTheVersion) {
    const std::string path = install_.file("version.ini");
    test::WriteText(path, "[TorvoProxy]\nversion=3.0.2\n");
    for (const std::string missing : {"platform section in file: ", "version file: "}) {
        test::LogCapture log;
        EXPECT_EQ(conf_.load(), 0);
        EXPECT_EQ(conf_.serverVersion, "3.0.0");
        EXPECT_EQ(log.lines.back(), E("can't find " + missing + path));
        std::remove(path.c_str());
    }
}

// version.ini beside the executable: each key found replaces its field ("#" starts a comment),
// a missing key keeps it; 1 whenever the file exists, 0 without a word when it does not.
TEST_F(SystemConfTest, VersionLoadReadsTheFileBesideTheExecutable) {
    Version& v = Version::instance();
    v.platform = "x64";
    v.version = "3.0.0";
    test::LogCapture log;
    EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(std::pair(v.platform, v.version),
              std::pair(std::string("x64"), std::string("3.0.1")));
    test::WriteText(install_.file("version.ini"), "[torvoproxy]\nPlatform = arm64\n");
    EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(std::pair(v.platform, v.version),
              std::pair(std::string("arm64"), std::string("3.0.1")));
    std::remove(install_.file("version.ini").c_str());
    v.platform = "x64";
    EXPECT_EQ(v.load(), 0);
    EXPECT_EQ(v.platform, "x64");
    EXPECT_EQ(log.lines, Lines{});
}

}  // namespace
