// Start-up: the language, restart and rights rules, the single-instance lock, the real start-up
// run by the console probe in a throw-away install directory, and the run script's layout.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <thread>

#include "tests/ui/TestInstall.h"
#include "ui/Rights.h"
#include "ui/SingleInstance.h"
#include "ui/StartupRules.h"

namespace {

using namespace std::chrono_literals;
using res::UiLanguage;

TEST(StartupRules, LanguageRestartAndRightsDecisions) {
    EXPECT_EQ(UiLanguageForSetting("zh"), UiLanguage::Chinese);
    for (const char* other : {"en", "ZH", "", "zh "}) {
        EXPECT_EQ(UiLanguageForSetting(other), UiLanguage::English) << '"' << other << '"';
    }
    EXPECT_TRUE(IsRestartCommandLine({"--restart"}));
    const std::vector<std::string> notRestart[] = {
        {}, {"--restart", ""}, {" --restart"}, {"x", "--restart"}, {"--RESTART"}};
    for (const auto& arguments : notRestart) EXPECT_FALSE(IsRestartCommandLine(arguments));

    using enum RightsAction;
    const std::pair<RightsFacts, RightsAction> rights[] = {
        {{true, true, false, false}, GoOn},
        {{true, false, true, true}, RelaunchElevated},
        {{true, false, true, false}, ReportNoRoot},
        {{false, false, true, false}, GoOn},
        {{false, false, false, true}, RelaunchElevated},
        {{false, false, false, false}, ReportNoWriteAccess},
        {{false, true, false, true}, ReportNoWriteAccess}};
    for (const auto& [facts, action] : rights) {
        EXPECT_EQ(DecideRights(facts), action)
            << facts.systemdBackend << facts.isRoot << facts.installDirWritable << facts.canElevate;
    }
    // pkexec clears the environment: the display and the console's own settings go along
    QProcessEnvironment env;
    for (const auto& [name, value] : {std::pair{"DISPLAY", ":1"},
                                      {"HOME", "/root"},
                                      {"TORVO_LOCK_DIR", "/srv/lock"},
                                      {"TORVO_SERVICE_BACKEND", ""}})
        env.insert(name, value);
    EXPECT_EQ(ElevationArguments("/opt/MainUI", env),
              (QStringList{"env", "DISPLAY=:1", "TORVO_LOCK_DIR=/srv/lock", "/opt/MainUI"}));
}

TEST(SingleInstanceLock, SecondHolderIsRefusedAndTakesOverOnceFree) {
    TestInstall dir;
    const std::string path = (dir.Dir() + "/lock").toStdString();
    auto first = std::make_unique<SingleInstanceLock>(path);
    ASSERT_EQ(first->TryAcquire(), SingleInstanceLock::Result::Acquired);
    SingleInstanceLock second(path);
    EXPECT_EQ(second.TryAcquire(), SingleInstanceLock::Result::HeldElsewhere);
    second.TakeOverWhenFree(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(second.Held());
    first.reset();  // the old console ends
    for (int i = 0; i < 200 && !second.Held(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(second.Held());
    EXPECT_EQ(SingleInstanceLock(path).TryAcquire(), SingleInstanceLock::Result::HeldElsewhere);
    EXPECT_EQ(SingleInstanceLock("/nonexistent-torvo-dir/lock").TryAcquire(),
              SingleInstanceLock::Result::Unavailable);
}

TEST(Startup, LanguageComesFromMainDb) {
    for (const auto& [lang, expected] : {std::pair{"en", "language=en title=TorvoProxy System"},
                                         {"zh", "language=zh title=TorvoProxy代理服务器系统"},
                                         {"ZH", "language=en title=TorvoProxy System"},
                                         {"", "language=en title=TorvoProxy System"}}) {
        TestInstall install;
        install.MakeDatabase({{"lang", lang}, {"listen_port", "8089"}});
        const QString output = install.RunProbe({});
        EXPECT_TRUE(output.contains(QString("painted ") + expected) && output.contains("ended"))
            << lang << ": " << output.toStdString();
    }
}

TEST(Startup, FreshDatabaseGetsItsRowsAndStartsInChinese) {
    TestInstall install;
    install.MakeDatabase();  // tables without rows, and no version.ini
    const QString output = install.RunProbe({});
    EXPECT_TRUE(output.contains("painted language=zh")) << output.toStdString();
    EXPECT_EQ(install.Configuration("listen_port"), "8089");
    EXPECT_EQ(install.Configuration("torvoagent_allow"), "0");
    EXPECT_EQ(install.Configuration("lang"), "zh");
}

TEST(Startup, SecondConsoleIsRefusedUnlessRestarted) {
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}});
    SingleInstanceLock first((install.RuntimeDir() + "/" + kOneInstanceLockName).toStdString());
    ASSERT_EQ(first.TryAcquire(), SingleInstanceLock::Result::Acquired);
    for (const QStringList& arguments : {QStringList{}, {"--restart", "x"}}) {
        const QString output = install.RunProbe(arguments);
        EXPECT_TRUE(output.contains("message 提示|该程序已经在运行\nended"))
            << arguments.join(',').toStdString() << ": " << output.toStdString();
    }
    const QString restarted = install.RunProbe({"--restart"});
    EXPECT_TRUE(restarted.contains("painted language=en")) << restarted.toStdString();
    EXPECT_FALSE(restarted.contains("message"));
}

// The run script lays out an install directory; the locale variables "LANG" and "LC_ALL".
bool LayOut(const TestInstall& install, const QString& lang, const QString& lcAll = {}) {
    QDir(install.Dir()).mkpath("bin");
    QFile binary(install.Dir() + "/bin/MainUI");
    if (!binary.open(QIODevice::WriteOnly) || binary.write("#!/bin/true\n") < 0) return false;
    binary.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LC_MESSAGES");
    for (const auto& [name, value] : {std::pair{"LANG", lang}, {"LC_ALL", lcAll}}) {
        value.isEmpty() ? env.remove(name) : env.insert(name, value);
    }
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(TORVO_SOURCE_DIR "/scripts/lay-out-install",
                 {install.Dir() + "/bin", install.Dir()});
    return script.waitForFinished(20000) && script.exitCode() == 0;
}

TEST(InstallLayout, FreshDatabaseGetsItsRowsWithTheLocalesLanguageExistingOneIsKept) {
    for (const auto& [lang, lcAll, expected] : {std::tuple{"zh_CN.UTF-8", "", "zh"},
                                                {"", "", "en"},
                                                {"en_US.UTF-8", "zh_TW.UTF-8", "zh"},
                                                {"de_DE.UTF-8", "", "en"}}) {
        TestInstall install;
        ASSERT_TRUE(LayOut(install, lang, lcAll));
        EXPECT_EQ(install.Configuration("lang"), expected);
        EXPECT_EQ(install.Configuration("listen_port"), "8089");
        EXPECT_EQ(install.Configuration("torvoagent_allow"), "1");
        EXPECT_EQ(install.Configuration("anonymous_allow"), "0");
        EXPECT_TRUE(QFile::exists(install.Dir() + "/busy.gif") &&
                    QFile::exists(install.Dir() + "/version.ini"));
        ASSERT_TRUE(LayOut(install, std::string(expected) == "zh" ? "en_US.UTF-8" : "zh_CN.UTF-8"));
        EXPECT_EQ(install.Configuration("lang"), expected);  // the existing main.db is kept
    }
}

}  // namespace
