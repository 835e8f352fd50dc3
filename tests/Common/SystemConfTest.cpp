#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "tests/Common/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;
const auto W = [](const std::string& text) { return "W Common/SystemConf.cpp: " + text; };
const auto E = [](const std::string& text) { return "E Common/SystemConf.cpp: " + text; };

// A fresh install (main.db with the tables, version.ini) and SystemConf at its initial values.
class SystemConfTest : public testing::Test {
protected:
    void SetUp() override {
        OverrideModuleDirectory(dir_.path());
        test::CreateSchemaDb(dir_.file("main.db"));
        test::WriteText(dir_.file("version.ini"), "[TorvoProxy]\nplatform=x64\nversion=3.0.1 #7\n");
        conf_.serverVersion = "3.0.0";
        conf_.torvoAgentAllow = 1;
        conf_.listenPort = 8089;
        conf_.language = "zh";
    }
    void TearDown() override {
        OverrideModuleDirectory("");
        SetDefaultBusyTimeoutMs(CppSQLite3DB::kDefaultBusyTimeoutMs);
    }
    void Store(const std::string& sql) {
        ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& db) { db.execDML(sql.c_str()); }));
    }
    Lines Configuration() const {
        return test::Rows(dir_.file("main.db"), "select * from configuration order by key");
    }
    test::TempDir dir_;
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

TEST_F(SystemConfTest, StoredValuesAreReadAndAnyTorvoAgentValueSwitchesItOn) {
    Store(
        "insert into configuration values ('listen_port', '8123'), ('torvoagent_allow', '0'),"
        " ('lang', 'en')");
    conf_.torvoAgentAllow = 0;
    test::LogCapture log;
    conf_.load();
    EXPECT_EQ(conf_.torvoAgentAllow, 1);
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(log.lines,
              (Lines{W("the proxy server listen port is: 8123"),
                     W("the proxy server allow torvo agent: 1"), W("the ui language is: en"),
                     W("the proxy server listen port: 8123, server version: 3.0.1")}));
}

TEST_F(SystemConfTest, SaveRoundTripsPortAndLanguageAndReportsFailureSilently) {
    conf_.load();
    conf_.listenPort = 9191;
    conf_.language = "en";
    EXPECT_TRUE(conf_.save());
    conf_.listenPort = 1;
    conf_.language = "zh";
    conf_.load();
    EXPECT_EQ(conf_.listenPort, 9191);
    EXPECT_EQ(conf_.language, "en");
    test::WriteText(dir_.file("main.db"), "");  // a database without any table
    test::LogCapture log;
    EXPECT_FALSE(conf_.save());
    EXPECT_EQ(log.lines, Lines{});
}

TEST_F(SystemConfTest, ABusyDatabaseIsLoggedOnceAndTheVersionFileStillRead) {
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder, waiter;  // the holder writes outside the lock, as a foreign process
    holder.open(dir_.file("main.db").c_str());
    holder.execDML("begin exclusive; insert into configuration values ('x', 'y')");
    waiter.setBusyTimeout(50);
    waiter.open(dir_.file("main.db").c_str());
    EXPECT_EQ(test::MessageOf([&] { waiter.execQuery("select value from configuration"); }),
              "SQLITE_BUSY[5]: database is locked");
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(log.lines, (Lines{E("sqlite exception, error code: SQLITE_BUSY, error message: "
                                  "SQLITE_BUSY[5]: database is locked"),
                                W("the proxy server listen port: 8089, server version: 3.0.1")}));
}

TEST_F(SystemConfTest, AMissingVersionFileOrPlatformSectionIsLoggedAndKeepsTheVersion) {
    const std::string path = dir_.file("version.ini");
    test::WriteText(path, "[TorvoProxy]\nversion=3.0.2\n");
    for (const std::string missing : {"platform section in file: ", "version file: "}) {
        test::LogCapture log;
        EXPECT_EQ(conf_.load(), 0);
        EXPECT_EQ(conf_.serverVersion, "3.0.0");
        EXPECT_EQ(log.lines.back(), E("can't find " + missing + path));
        std::remove(path.c_str());
    }
}

}  // namespace
