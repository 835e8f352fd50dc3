// Start-up: the language rule, the restart command line, the rights decision, the
// single-instance lock, and the real start-up sequence run in a throw-away install directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

#include "tests/ui/TestInstall.h"
#include "ui/SingleInstance.h"
#include "ui/StartupRules.h"

namespace {

using res::UiLanguage;

TEST(StartupRules, ZhExactlySelectsChinese) {
    const std::pair<std::string, UiLanguage> cases[] = {
        {"zh", UiLanguage::Chinese},      {"en", UiLanguage::English}, {"ZH", UiLanguage::English},
        {"Zh", UiLanguage::English},      {"", UiLanguage::English},   {"zh ", UiLanguage::English},
        {"chinese", UiLanguage::English},
    };
    for (const auto& [setting, expected] : cases) {
        EXPECT_EQ(UiLanguageForSetting(setting), expected) << '"' << setting << '"';
    }
}

TEST(StartupRules, OnlyExactlyRestartIsTheRestartCommandLine) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"--restart"}, true},       {{}, false},
        {{"--restart", ""}, false},  // a blank after it
        {{" --restart"}, false},     {{"--restart "}, false},
        {{"--restart", "x"}, false}, {{"x", "--restart"}, false},
        {{"--RESTART"}, false},      {{"-restart"}, false},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string shown;
        for (const auto& a : arguments) shown += "[" + a + "]";
        EXPECT_EQ(IsRestartCommandLine(arguments), expected) << shown;
    }
}

TEST(StartupRules, RightsDecision) {
    struct Case {
        bool systemd, root, writable, canElevate;
        RightsAction expected;
    };
    const Case cases[] = {
        {true, true, false, false, RightsAction::GoOn},
        {true, false, true, true, RightsAction::RelaunchElevated},
        {true, false, true, false, RightsAction::ReportNoRoot},
        {false, false, true, false, RightsAction::GoOn},
        {false, false, false, true, RightsAction::RelaunchElevated},
        {false, false, false, false, RightsAction::ReportNoWriteAccess},
        {false, true, false, true, RightsAction::ReportNoWriteAccess},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideRights({c.systemd, c.root, c.writable, c.canElevate}), c.expected)
            << c.systemd << c.root << c.writable << c.canElevate;
    }
}

TEST(SingleInstanceLock, SecondHolderIsRefusedAndTakesOverOnceFree) {
    TestInstall dir;
    const std::string path = (dir.Dir() + "/lock").toStdString();
    auto first = std::make_unique<SingleInstanceLock>(path);
    ASSERT_EQ(first->TryAcquire(), SingleInstanceLock::Result::Acquired);

    SingleInstanceLock second(path);
    EXPECT_EQ(second.TryAcquire(), SingleInstanceLock::Result::HeldElsewhere);
    second.TakeOverWhenFree(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second.Held());

    first.reset();  // the old console ends
    for (int i = 0; i < 200 && !second.Held(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(second.Held());
    SingleInstanceLock third(path);
    EXPECT_EQ(third.TryAcquire(), SingleInstanceLock::Result::HeldElsewhere);
}

TEST(SingleInstanceLock, UnmakeableLockFileCountsAsOnlyInstance) {
    SingleInstanceLock lock("/nonexistent-dir-for-torvo-test/TORVOPROXY_ONEINSTANCE_MUTEX");
    EXPECT_EQ(lock.TryAcquire(), SingleInstanceLock::Result::Unavailable);
}

TEST(SingleInstanceLock, LivesInTheRuntimeDirectory) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(OneInstanceLockPath(), "/run/user/4242/TORVOPROXY_ONEINSTANCE_MUTEX");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(OneInstanceLockDirectory().rfind("/tmp/torvoproxy-", 0), 0u);
    qputenv("XDG_RUNTIME_DIR", saved);
}

// --- the real start-up sequence -------------------------------------------------------

TEST(Startup, LanguageComesFromMainDb) {
    const std::pair<std::optional<std::string>, QString> cases[] = {
        {"en", "painted language=en title=TorvoProxy System"},
        {"zh", "painted language=zh title=TorvoProxy代理服务器系统"},
        {"ZH", "painted language=en title=TorvoProxy System"},
        {"", "painted language=en title=TorvoProxy System"},
    };
    for (const auto& [lang, expected] : cases) {
        TestInstall install;
        install.MakeDatabase({{"lang", lang}, {"listen_port", "8089"}});
        install.WriteVersionFile("3.0.0");
        const auto run = install.RunProbe({});
        ASSERT_TRUE(run.finished) << *lang;
        EXPECT_TRUE(run.output.contains(expected)) << *lang << ": " << run.output.toStdString();
        EXPECT_TRUE(run.output.contains("ended"));
    }
}

TEST(Startup, FreshDatabaseGetsItsRowsAndStartsInChinese) {
    TestInstall install;
    install.MakeDatabase();  // tables, no rows; no version.ini either
    const auto run = install.RunProbe({});
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.output.contains("painted language=zh")) << run.output.toStdString();
    EXPECT_EQ(install.Configuration("listen_port"), "8089");
    EXPECT_EQ(install.Configuration("torvoagent_allow"), "0");
    EXPECT_EQ(install.Configuration("lang"), "zh");
}

TEST(Startup, SecondConsoleIsRefusedUnlessRestarted) {
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}});
    // A first console holds the lock.
    SingleInstanceLock first(
        (install.RuntimeDir() + "/TORVOPROXY_ONEINSTANCE_MUTEX").toStdString());
    ASSERT_EQ(first.TryAcquire(), SingleInstanceLock::Result::Acquired);

    const QStringList refused[] = {{}, {"--restart", ""}, {" --restart"}, {"--restart", "x"}};
    for (const QStringList& arguments : refused) {
        const auto run = install.RunProbe(arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(run.output.contains("message 提示|该程序已经在运行"))
            << arguments.join(',').toStdString() << ": " << run.output.toStdString();
        EXPECT_FALSE(run.output.contains("painted"));
    }

    const auto restarted = install.RunProbe({"--restart"});
    ASSERT_TRUE(restarted.finished);
    EXPECT_TRUE(restarted.output.contains("painted language=en")) << restarted.output.toStdString();
    EXPECT_FALSE(restarted.output.contains("message"));
}

TEST(Startup, UnwritableInstallDirectoryIsReportedNotSilent) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}});
    install.RunProbe({}, 1);  // copies the probe in
    QFile::setPermissions(install.Dir(), QFile::ReadOwner | QFile::ExeOwner);
    const auto run = install.RunProbe({});
    QFile::setPermissions(install.Dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.output.contains("message TorvoProxy")) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains("painted"));
}

}  // namespace
