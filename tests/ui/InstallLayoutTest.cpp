// The install layout the run script makes: files beside the executable and a fresh main.db
// with its rows, the language taken from the locale.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "tests/ui/TestInstall.h"

namespace {

// Runs scripts/lay-out-install into the directory of `install` with the given locale variables.
bool LayOut(const TestInstall& install, const std::map<QString, QString>& locale) {
    QFile fakeBinary(install.Dir() + "/bin/MainUI");
    QDir(install.Dir()).mkpath("bin");
    if (!fakeBinary.open(QIODevice::WriteOnly)) return false;
    fakeBinary.write("#!/bin/true\n");
    fakeBinary.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) env.remove(name);
    for (const auto& [name, value] : locale) env.insert(name, value);
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(QStringLiteral(TORVO_SOURCE_DIR "/scripts/lay-out-install"),
                 {install.Dir() + "/bin", install.Dir()});
    return script.waitForFinished(20000) && script.exitCode() == 0;
}

TEST(InstallLayout, FreshDatabaseGetsItsRowsWithTheLocalesLanguage) {
    const std::pair<std::map<QString, QString>, std::string> cases[] = {
        {{{"LANG", "zh_CN.UTF-8"}}, "zh"},
        {{{"LANG", "en_US.UTF-8"}}, "en"},
        {{}, "en"},
        {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", "zh_TW.UTF-8"}}, "zh"},
        {{{"LANG", "de_DE.UTF-8"}}, "en"},
    };
    for (const auto& [locale, expected] : cases) {
        TestInstall install;
        ASSERT_TRUE(LayOut(install, locale));
        EXPECT_EQ(install.Configuration("lang"), expected);
        EXPECT_EQ(install.Configuration("listen_port"), "8089");
        EXPECT_EQ(install.Configuration("torvoagent_allow"), "1");
        EXPECT_EQ(install.Configuration("anonymous_allow"), "0");
        for (const char* file : {"MainUI", "busy.gif", "version.ini"}) {
            EXPECT_TRUE(QFile::exists(install.Dir() + "/" + file)) << file;
        }
    }
}

TEST(InstallLayout, ExistingDatabaseIsKept) {
    TestInstall install;
    ASSERT_TRUE(LayOut(install, {{"LANG", "en_US.UTF-8"}}));
    ASSERT_TRUE(LayOut(install, {{"LANG", "zh_CN.UTF-8"}}));
    EXPECT_EQ(install.Configuration("lang"), "en");
}

}  // namespace
