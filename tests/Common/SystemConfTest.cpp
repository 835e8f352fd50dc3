#include "Common/Database.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "tests/Common/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;
const auto W = [](const std::string& text) { return "W Common/SystemConf.cpp: " + text; };
const auto E = [](const std::string& text) { return "E Common/SystemConf.cpp: " + text; };

// A fresh install (main.db with the tables, version.ini) and SystemConf holding values other
// than its initial ones, so a repair shows whether it wrote memory or a constant.
class SystemConfTest : public testing::Test {
protected:
    void SetUp() override {
        test::WriteText(install_.file("version.ini"),
                        "[TorvoProxy]\nplatform=x64\nversion=3.0.1 #7\n");
        conf_.serverVersion = "3.0.0";
        conf_.torvoAgentAllow = 1;
        conf_.listenPort = 9000;
        conf_.language = "en";
    }
    void StoreThree(const std::string& port, const std::string& allow, const std::string& lang) {
        install_.Sql("insert into configuration values ('listen_port', " + port +
                     "), ('torvoagent_allow', " + allow + "), ('lang', " + lang + ")");
    }
    Lines Configuration() const {
        return install_.Rows(
            "select * from configuration where key in ('listen_port', 'torvoagent_allow', "
            "'lang') order by key");
    }
    test::ScopedInstall install_;
    SystemConf& conf_ = SystemConf::instance();
};

// Rows: name; port, switch and language stored (SQL values; empty: no rows); the three fields
// read; the rows afterwards.
using LoadCase = std::tuple<const char*, std::string, std::string, std::string, uint16_t, int,
                            const char*, Lines>;
class SystemConfLoad : public SystemConfTest, public testing::WithParamInterface<LoadCase> {};

const Lines kRepaired = {"lang|en", "listen_port|9000", "torvoagent_allow|0"};

// Missing or NULL rows (even twice for one key) are stored again from memory, torvoagent_allow
// as 0 (and read so), and logged; numbers read the atoi way (leading digits; the port keeps
// 16 bits).
INSTANTIATE_TEST_SUITE_P(
    Rows, SystemConfLoad,
    testing::Values(LoadCase{"empty", "", "", "", 9000, 0, "en", kRepaired},
                    LoadCase{"NULL", "NULL", "NULL", "NULL), ('lang', NULL", 9000, 0, "en",
                             kRepaired},
                    LoadCase{"stored", "'8123'", "'0'", "'zh'", 8123, 0, "zh",
                             Lines{"lang|zh", "listen_port|8123", "torvoagent_allow|0"}},
                    LoadCase{"atoi", "' 70000x'", "'yes'", "''", 4464, 0, "",
                             Lines{"lang|", "listen_port| 70000x", "torvoagent_allow|yes"}}),
    [](const auto& row) { return std::string(std::get<0>(row.param)); });

TEST_P(SystemConfLoad, ReadsStoredKeysAndRepairsMissingOnes) {
    const auto& [name, port, allow, lang, listenPort, agentAllow, language, stored] = GetParam();
    if (!port.empty()) StoreThree(port, allow, lang);
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(conf_.listenPort, listenPort);
    EXPECT_EQ(conf_.torvoAgentAllow, agentAllow);
    EXPECT_EQ(conf_.language, language);
    EXPECT_EQ(Configuration(), stored);
    if (stored == kRepaired) {
        EXPECT_EQ(
            log.lines,
            (Lines{E("failed to load listen port from db"),
                   W("the proxy server allow torvo agent: 0"), E("failed to load lang from db"),
                   W("the proxy server listen port: 9000, server version: 3.0.1")}));
    }
}

// All three keys in one transaction: a failure part way changes nothing and logs nothing. A
// stored 0 is written back as 0: the switch never turns itself on.
TEST_F(SystemConfTest, SaveWritesWhatMemoryHoldsAllOrNothing) {
    StoreThree("'8123'", "'0'", "'en'");
    conf_.load();
    conf_.listenPort = 9191;
    conf_.language = "zh";
    EXPECT_TRUE(conf_.save());
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|9191", "torvoagent_allow|0"}));
    install_.Sql(
        "create trigger refuse_lang before update on configuration when new.key = 'lang'"
        " begin select raise(abort, 'refused'); end");
    conf_.listenPort = 8089;
    conf_.torvoAgentAllow = 1;
    conf_.language = "en";
    test::LogCapture log;
    EXPECT_FALSE(conf_.save());
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|9191", "torvoagent_allow|0"}));
    EXPECT_EQ(log.lines, Lines{});
}

TEST_F(SystemConfTest, TheLanguageSwitchWritesTheLanguageAlone) {
    StoreThree("'8089'", "'0'", "'zh'");
    conf_.load();
    // Another writer (the settings page, another program) changes port and switch meanwhile.
    install_.Sql(
        "update configuration set value='9999' where key='listen_port';"
        "update configuration set value='1' where key='torvoagent_allow'");
    EXPECT_TRUE(conf_.saveLanguage("en"));
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(Configuration(), (Lines{"lang|en", "listen_port|9999", "torvoagent_allow|1"}));
}

// Every connection waits up to a minute for a database another program holds; when the wait
// runs out the failure is logged once and the version file is still read.
TEST_F(SystemConfTest, ABusyDatabaseIsWaitedForThenLoggedOnce) {
    int timeout = 0;
    ASSERT_TRUE(UseDatabase(
        [&](CppSQLite3DB& db) { timeout = db.execQuery("PRAGMA busy_timeout").getIntField(0); }));
    EXPECT_EQ(timeout, 60000);
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder;  // writes outside the lock, as a foreign process
    holder.open(install_.Db().c_str());
    holder.execDML("begin exclusive; insert into configuration values ('x', 'y')");
    test::LogCapture log;
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(log.lines, (Lines{E("sqlite exception, error code: SQLITE_BUSY, error message: "
                                  "SQLITE_BUSY[5]: database is locked"),
                                W("the proxy server listen port: 9000, server version: 3.0.1")}));
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
    EXPECT_EQ(v.version, "3.0.1");
    test::WriteText(install_.file("version.ini"), "[torvoproxy]\nPlatform = arm64\n");
    EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(v.platform + " " + v.version, "arm64 3.0.1");
    std::remove(install_.file("version.ini").c_str());
    v.platform = "x64";
    EXPECT_EQ(v.load(), 0);
    EXPECT_EQ(v.platform, "x64");
    EXPECT_EQ(log.lines, Lines{});
}

}  // namespace
