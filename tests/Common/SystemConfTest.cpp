#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "tests/Common/TestSupport.h"

namespace {

using Line = test::LogCapture::Line;
using Rows = std::vector<std::string>;

constexpr char kSource[] = "Common/SystemConf.cpp";
constexpr char kGoodVersionFile[] = "[TorvoProxy]\nplatform=x64\nversion=3.0.1   # build 7\n";

Line Warning(const std::string& text) {
    return {google::GLOG_WARNING, kSource, text};
}
Line Error(const std::string& text) {
    return {google::GLOG_ERROR, kSource, text};
}

// Puts main.db (with the tables) and version.ini of a fresh install into a temporary
// directory that the paths point at, and starts SystemConf from its initial values.
class SystemConfTest : public testing::Test {
protected:
    void SetUp() override {
        OverrideModuleDirectory(dir_.path());
        test::CreateSchemaDb(db());
        test::WriteText(dir_.file("version.ini"), kGoodVersionFile);
        conf_.serverVersion = "3.0.0";
        conf_.torvoAgentAllow = 1;
        conf_.listenPort = 8089;
        conf_.language = "zh";
    }
    void TearDown() override {
        OverrideModuleDirectory("");
        SetDefaultBusyTimeoutMs(CppSQLite3DB::kDefaultBusyTimeoutMs);
    }

    std::string db() const { return dir_.file("main.db"); }
    void Store(const std::string& sql) {
        ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& c) { c.execDML(sql.c_str()); }));
    }
    Rows Configuration() const {
        return test::Rows(db(), "select key, value from configuration order by key");
    }

    test::TempDir dir_;
    SystemConf& conf_ = SystemConf::instance();
};

TEST_F(SystemConfTest, AnEmptyTableIsRepairedFromTheFieldsWithTheLogLines) {
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(Configuration(), (Rows{"lang|zh", "listen_port|8089", "torvoagent_allow|0"}));
    EXPECT_EQ(conf_.listenPort, 8089);
    EXPECT_EQ(conf_.torvoAgentAllow, 1);
    EXPECT_EQ(conf_.language, "zh");
    EXPECT_EQ(conf_.serverVersion, "3.0.1");
    EXPECT_EQ(log.lines(), (std::vector<Line>{
                               Error("failed to load listen port from db"),
                               Warning("the proxy server allow torvo agent: 1"),
                               Error("failed to load lang from db"),
                               Warning("the proxy server listen port: 8089, server version: 3.0.1"),
                           }));
}

TEST_F(SystemConfTest, NullValuesAreReplacedByOneRowEachHoldingWhatMemoryHolds) {
    Store(
        "insert into configuration (key, value) values ('listen_port', NULL),"
        " ('torvoagent_allow', NULL), ('lang', NULL), ('lang', NULL)");
    conf_.listenPort = 9000;
    conf_.language = "en";
    test::LogCapture log;
    conf_.load();
    EXPECT_EQ(Configuration(), (Rows{"lang|en", "listen_port|9000", "torvoagent_allow|0"}));
    EXPECT_EQ(conf_.listenPort, 9000);
    for (const Line& line : log.lines()) {
        EXPECT_EQ(line.text.find("the proxy server listen port is"), std::string::npos);
    }
}

TEST_F(SystemConfTest, StoredValuesAreReadAndAnyTorvoAgentValueSwitchesItOn) {
    Store(
        "insert into configuration (key, value) values ('listen_port', '8123'),"
        " ('torvoagent_allow', '0'), ('lang', 'en')");
    conf_.torvoAgentAllow = 0;
    test::LogCapture log;
    conf_.load();
    EXPECT_EQ(conf_.torvoAgentAllow, 1);
    EXPECT_EQ(conf_.listenPort, 8123);
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(log.lines(), (std::vector<Line>{
                               Warning("the proxy server listen port is: 8123"),
                               Warning("the proxy server allow torvo agent: 1"),
                               Warning("the ui language is: en"),
                               Warning("the proxy server listen port: 8123, server version: 3.0.1"),
                           }));
    EXPECT_TRUE(conf_.save());
    EXPECT_EQ(Configuration(), (Rows{"lang|en", "listen_port|8123", "torvoagent_allow|1"}));
}

TEST_F(SystemConfTest, PortTextKeepsLeadingDigitsAndTheLow16Bits) {
    const struct {
        const char* stored;
        uint16_t port;
    } cases[] = {{"8080", 8080}, {"70000", 4464}, {"abc", 0},       {"12ab", 12},
                 {" 42", 42},    {"", 0},         {"65535", 65535}, {"-1", 65535}};
    Store("insert into configuration (key, value) values ('listen_port', '')");
    for (const auto& c : cases) {
        Store(SqlFormat("update configuration set value='%q' where key='listen_port'", c.stored));
        conf_.load();
        EXPECT_EQ(conf_.listenPort, c.port) << c.stored;
    }
}

TEST_F(SystemConfTest, SaveThenLoadRoundTripsPortAndLanguage) {
    conf_.load();
    conf_.listenPort = 9191;
    conf_.language = "en";
    EXPECT_TRUE(conf_.save());
    conf_.listenPort = 1;
    conf_.language = "zh";
    conf_.load();
    EXPECT_EQ(conf_.listenPort, 9191);
    EXPECT_EQ(conf_.language, "en");
}

TEST_F(SystemConfTest, SaveReportsFailureWithoutALogLine) {
    test::WriteText(db(), "");  // a database without any table
    test::LogCapture log;
    EXPECT_FALSE(conf_.save());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SystemConfTest, ABusyDatabaseIsLoggedOnceAndTheVersionFileStillRead) {
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder;  // works outside the database lock, as a foreign process would
    holder.open(db().c_str());
    holder.execDML("begin exclusive; insert into configuration (key, value) values ('x', 'y')");

    CppSQLite3DB waiter;
    waiter.setBusyTimeout(50);
    waiter.open(db().c_str());
    try {
        waiter.execQuery("select value from configuration");
        ADD_FAILURE() << "no SQLITE_BUSY";
    } catch (const CppSQLite3Exception& error) {
        EXPECT_EQ(error.errorCode(), 5);
        EXPECT_STREQ(error.errorMessage(), "SQLITE_BUSY[5]: database is locked");
    }

    conf_.listenPort = 7777;
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(log.lines(), (std::vector<Line>{
                               Error("sqlite exception, error code: SQLITE_BUSY, error message: "
                                     "SQLITE_BUSY[5]: database is locked"),
                               Warning("the proxy server listen port: 7777, server version: 3.0.1"),
                           }));
    EXPECT_EQ(conf_.serverVersion, "3.0.1");
    holder.execDML("rollback");
}

struct VersionFileCase {
    const char* name;
    const char* content;  // nullptr: no file
    int result;
    const char* version;
    const char* errorPrefix;  // followed by the path; nullptr: no error line
};

TEST_F(SystemConfTest, VersionFileRules) {
    const VersionFileCase cases[] = {
        {"no file", nullptr, 0, "3.0.0", "can't find version file: "},
        {"no platform", "[TorvoProxy]\nversion=3.0.2\n", 0, "3.0.0",
         "can't find platform section in file: "},
        {"no version", "[TorvoProxy]\nplatform=x64\n", 0, "3.0.0",
         "can't find version section in file: "},
        {"other section only", "[Other]\nplatform=x64\nversion=9\n", 0, "3.0.0",
         "can't find platform section in file: "},
        {"names in other case", "[torvoproxy]\nPlatform = arm\nVERSION = \"3.1.0\"\n", 1, "3.1.0",
         nullptr},
        {"empty after comment", "[TorvoProxy]\nplatform=x64\nversion=#\n", 1, "", nullptr},
    };
    for (const VersionFileCase& c : cases) {
        conf_.serverVersion = "3.0.0";
        std::remove(dir_.file("version.ini").c_str());
        if (c.content != nullptr) test::WriteText(dir_.file("version.ini"), c.content);
        test::LogCapture log;
        EXPECT_EQ(conf_.load(), c.result) << c.name;
        EXPECT_EQ(conf_.serverVersion, c.version) << c.name;
        const Line last = log.lines().back();
        if (c.errorPrefix != nullptr) {
            EXPECT_EQ(last, Error(c.errorPrefix + dir_.file("version.ini"))) << c.name;
        } else {
            EXPECT_EQ(last.severity, google::GLOG_WARNING) << c.name;
        }
    }
}

TEST_F(SystemConfTest, VersionKeepsItsFieldsWhereTheFileIsSilent) {
    Version& version = Version::instance();
    version.platform = "x64";
    version.version = "3.0.0";
    std::remove(dir_.file("version.ini").c_str());
    EXPECT_EQ(version.load(), 0);
    test::WriteText(dir_.file("version.ini"), "[TorvoProxy]\nversion=3.0.5 # x\n");
    EXPECT_EQ(version.load(), 1);
    EXPECT_EQ(version.platform, "x64");
    EXPECT_EQ(version.version, "3.0.5");
}

}  // namespace
