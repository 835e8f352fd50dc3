// Start-up rules, the single-instance lock, the real start-up via the probe, the run script.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <thread>

#include "tests/ui/TestInstall.h"
#include "ui/Rights.h"
#include "ui/SingleInstance.h"

namespace {

using namespace std::chrono_literals;
using Lock = SingleInstanceLock;

TEST(StartupRules, RightsDecisionsAndElevationEnvironment) {
    using enum RightsAction;
    const std::pair<RightsFacts, RightsAction> rights[] = {
        {{true, true, false, false}, GoOn},
        {{true, false, true, true}, RelaunchElevated},
        {{true, false, true, false}, ReportNoRoot},
        {{false, false, true, false}, GoOn},
        {{false, false, false, true}, RelaunchElevated},
        {{false, false, false, false}, ReportNoWriteAccess},
        {{false, true, false, true}, ReportNoWriteAccess}};
    for (const auto& [f, action] : rights) {
        EXPECT_EQ(DecideRights(f), action)
            << f.systemdBackend << f.isRoot << f.installDirWritable << f.canElevate;
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
    auto first = std::make_unique<Lock>(path);
    ASSERT_EQ(first->TryAcquire(), Lock::Result::Acquired);
    Lock second(path);
    EXPECT_EQ(second.TryAcquire(), Lock::Result::HeldElsewhere);
    second.TakeOverWhenFree(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(second.Held());
    first.reset();  // the old console ends
    for (int i = 0; i < 200 && !second.Held(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(second.Held());
}

TEST(Startup, LanguageComesFromMainDb) {
    for (const auto& [lang, expected] : {std::pair{"en", "language=en title=TorvoProxy System"},
                                         {"zh", "language=zh title=TorvoProxy代理服务器系统"},
                                         {"ZH", "language=en title=TorvoProxy System"},
                                         {"", "language=en title=TorvoProxy System"}}) {
        TestInstall install;
        install.MakeDatabase({{"lang", lang}, {"listen_port", "8089"}});
        const QString out = install.RunProbe({});
        EXPECT_TRUE(out.contains(QString("painted ") + expected) && out.contains("ended"))
            << lang << ": " << out.toStdString();
    }
}

TEST(Startup, FreshDatabaseGetsItsRowsAndStartsInChinese) {
    TestInstall install;
    install.MakeDatabase();  // tables without rows, and no version.ini
    const QString out = install.RunProbe({});
    EXPECT_TRUE(out.contains("painted language=zh")) << out.toStdString();
    EXPECT_EQ(install.Configuration("listen_port"), "8089");
    EXPECT_EQ(install.Configuration("torvoagent_allow"), "0");
    EXPECT_EQ(install.Configuration("lang"), "zh");
}

TEST(Startup, SecondConsoleIsRefusedUnlessRestarted) {
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}});
    Lock first((install.RuntimeDir() + "/" + kOneInstanceLockName).toStdString());
    ASSERT_EQ(first.TryAcquire(), Lock::Result::Acquired);
    for (const QStringList& args : {QStringList{}, {"--restart", "x"}}) {
        const QString out = install.RunProbe(args);
        EXPECT_TRUE(out.contains("message 提示|该程序已经在运行\nended"))
            << args.join(',').toStdString() << ": " << out.toStdString();
    }
    const QString out = install.RunProbe({"--restart"});
    EXPECT_TRUE(out.contains("painted language=en") && !out.contains("message"))
        << out.toStdString();
}

// The run script lays out an install directory under the locale variable `lang`.
bool LayOut(const TestInstall& install, const QString& lang) {
    QDir(install.Dir()).mkpath("bin");
    QFile::copy("/bin/true", install.Dir() + "/bin/MainUI");  // kept once it is there
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_MESSAGES", "LC_ALL", "LANG"}) env.remove(name);
    if (!lang.isEmpty()) env.insert("LANG", lang);
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(TORVO_SOURCE_DIR "/scripts/lay-out-install",
                 {install.Dir() + "/bin", install.Dir()});
    return script.waitForFinished(20000) && script.exitCode() == 0;
}

TEST(InstallLayout, FreshDatabaseTakesTheLocalesLanguageAnExistingOneIsKept) {
    for (const auto& [lang, expected] : {std::pair{"zh_CN.UTF-8", "zh"}, {"de_DE.UTF-8", "en"}}) {
        TestInstall install;
        ASSERT_TRUE(LayOut(install, lang));
        EXPECT_EQ(install.Configuration("lang"), expected);
        EXPECT_EQ(install.Configuration("torvoagent_allow"), "1");
        EXPECT_TRUE(QFile::exists(install.Dir() + "/busy.gif") &&
                    QFile::exists(install.Dir() + "/version.ini"));
        ASSERT_TRUE(LayOut(install, std::string(expected) == "zh" ? "en_US.UTF-8" : "zh_CN.UTF-8"));
        EXPECT_EQ(install.Configuration("lang"), expected);  // the existing main.db is kept
    }
}

}  // namespace
