#include "Common/Database.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "tests/Common/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;
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

// Null rows are stored again from memory, torvoagent_allow as 0 (and read so); the
// stored rows are what the next load reads and what a save writes back. How stored texts read
// and that an update is all or nothing: ConfigurationTest.
TEST_F(SystemConfTest, RepairsNullRowsFromMemoryAndSavesWhatMemoryHolds) {
    StoreThree("NULL", "NULL", "NULL), ('lang', NULL");
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(conf_.listenPort, 9000);
    EXPECT_EQ(conf_.torvoAgentAllow, 0);
    EXPECT_EQ(conf_.language, "en");
    EXPECT_EQ(Configuration(), (Lines{"lang|en", "listen_port|9000", "torvoagent_allow|0"}));

    install_.Sql("update configuration set value='8123' where key='listen_port'");
    conf_.load();
    EXPECT_EQ(conf_.listenPort, 8123);
    conf_.language = "zh";
    EXPECT_TRUE(conf_.save());
    EXPECT_EQ(Configuration(), (Lines{"lang|zh", "listen_port|8123", "torvoagent_allow|0"}));
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
// runs out the version file is still read.
TEST_F(SystemConfTest, ABusyDatabaseIsWaitedForThenTheVersionFileIsStillRead) {
    int timeout = 0;
    ASSERT_TRUE(UseDatabase(
        [&](CppSQLite3DB& db) { timeout = db.execQuery("PRAGMA busy_timeout").getIntField(0); }));
    EXPECT_EQ(timeout, 60000);
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder;  // writes outside the lock, as a foreign process
    holder.open(install_.Db().c_str());
    holder.execDML("begin exclusive; insert into configuration values ('x', 'y')");
    EXPECT_EQ(conf_.load(), 1);
    EXPECT_EQ(conf_.serverVersion, "3.0.1");
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

// version.ini beside the executable: each key found replaces its field, a missing one keeps it;
// 1 whenever the file exists, 0 without a word when it does not. How the file reads: IniFileTest.
TEST_F(SystemConfTest, VersionLoadReadsTheFileBesideTheExecutable) {
    Version& v = Version::instance();
    v.platform = "arm64";
    v.version = "3.0.0";
    test::LogCapture log;
    test::WriteText(install_.file("version.ini"), "[TorvoProxy]\nversion=3.0.1\n");
    EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(v.platform + " " + v.version, "arm64 3.0.1");
    std::remove(install_.file("version.ini").c_str());
    EXPECT_EQ(v.load(), 0);
    EXPECT_EQ(v.version, "3.0.1");
    EXPECT_EQ(log.lines, Lines{});
}

}  // namespace
