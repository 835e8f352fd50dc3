// Start-up rules, the single-instance lock, the real start-up via the probe, the run script.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QUrl>

#include "Common/Paths.h"
#include "tests/support/Processes.h"
#include "tests/ui/TestInstall.h"
#include "ui/CAboutDlg.h"
#include "ui/Rights.h"
#include "ui/SingleInstance.h"
#include "ui/res/Strings.h"

namespace {

using Lock = SingleInstanceLock;

// pkexec clears the environment: the display and the console's own settings go along; the
// user's runtime folder does not (root keeps its own single-instance lock). Where the installed
// polkit action names the console and nothing but the display (which that action keeps) is to
// be handed on, pkexec runs the console itself so that its prompt names the action.
TEST(Rights, ElevationKeepsTheDisplayAndTheConsolesSettingsAndTheShippedPolicyNamesTheConsole) {
    const QString root = "TORVO_LOCAL_SERVICE_ROOT=/srv/services";
    for (const auto& [extra, actionNamesExe, expected] :
         {std::tuple{root, false, QStringList{"env", "DISPLAY=:1", root, "/opt/MainUI"}},
          {root, true, {"env", "DISPLAY=:1", root, "/opt/MainUI"}},
          {"TORVO_SERVICE_BACKEND=", false, {"env", "DISPLAY=:1", "/opt/MainUI"}},
          {"XAUTHORITY=/tmp/x", true, {"/opt/MainUI"}}}) {
        QProcessEnvironment env;
        for (const QString& entry : {QString("DISPLAY=:1"), QString("HOME=/root"),
                                     QString("XDG_RUNTIME_DIR=/run/user/1000"), extra})
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        EXPECT_EQ(ElevationArguments("/opt/MainUI", env, actionNamesExe), expected)
            << extra.toStdString();
    }
    QFile policy(TORVO_POLICY_FILE);
    ASSERT_TRUE(policy.open(QIODevice::ReadOnly));
    const QByteArray text = policy.readAll();
    EXPECT_TRUE(PolicyNamesProgram(text, TORVO_INSTALL_DIR "/MainUI"));
    EXPECT_FALSE(PolicyNamesProgram(text, TORVO_INSTALL_DIR "/TorvoProxyServer"));
    EXPECT_TRUE(text.contains(
        "<message>Authentication is required to administer the TorvoProxy proxy server</message>"));
}

// The folder is made 0700 in a shared parent; used only while this account's, closed to others
// and not a link ($XDG_RUNTIME_DIR is checked the same way: see the start-up probe runs). A lock
// planted as a link is refused, its target keeps its mode. (Taking a lock over once free: the
// restarted console's start-up run.)
TEST(SingleInstance, OnlyThisAccountsClosedFolderIsUsedAndALinkOrAHeldLockIsRefused) {
    TestInstall shared;
    const std::string parent = shared.Dir().toStdString();
    const std::string own = parent + "/torvoproxy-" + std::to_string(geteuid());
    const test::ScopedEnv unset("XDG_RUNTIME_DIR", std::nullopt);
    const OneInstanceFolder made = FindOneInstanceFolder(parent);
    EXPECT_EQ(made.path, own);
    EXPECT_EQ(made.problem, "");
    EXPECT_EQ(test::ModeOf(own) & 077, 0u);
    ASSERT_EQ(chmod(own.c_str(), 0755), 0);
    EXPECT_NE(FindOneInstanceFolder(parent).problem.find("open to other accounts"),
              std::string::npos);
    ASSERT_EQ(rmdir(own.c_str()), 0);
    ASSERT_EQ(symlink(shared.RuntimeDir().toUtf8().constData(), own.c_str()), 0);
    EXPECT_NE(FindOneInstanceFolder(parent).problem.find("symbolic link"), std::string::npos);
    ASSERT_EQ(unlink(own.c_str()), 0);
    if (geteuid() == 0) {  // made first by another account
        ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
        ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
        EXPECT_NE(FindOneInstanceFolder(parent).problem.find("another account"), std::string::npos);
    }
    const std::string victim = parent + "/victim";
    test::WriteText(victim, "");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    const QString planted = shared.RuntimeDir() + "/" + kOneInstanceLockName;
    ASSERT_EQ(symlink(victim.c_str(), planted.toUtf8().constData()), 0);
    EXPECT_EQ(Lock(planted.toStdString()).TryAcquire(), Lock::Result::Refused);
    EXPECT_EQ(test::ModeOf(victim), 0600u);
    const std::string path = parent + "/lock";
    Lock first(path);
    ASSERT_EQ(first.TryAcquire(), Lock::Result::Acquired);
    EXPECT_EQ(Lock(path).TryAcquire(), Lock::Result::HeldElsewhere);
}

// A fresh main.db gets its rows and Chinese; a runtime folder open to others is refused by name;
// a second console is refused, "--restart" alone goes on (the old one is still closing) in the
// stored language and takes the lock over once free; a third console is refused again.
TEST(Startup, FreshOrUnsafeOrSecondConsoleAndARestartedOneTakesTheLockOverOnceFree) {
    TestInstall install;
    test::CreateSchemaDb(install.DbPath());  // tables without rows, and no version.ini
    const QString fresh = install.RunProbe({});
    EXPECT_TRUE(fresh.contains("painted language=zh")) << fresh.toStdString();
    EXPECT_EQ(install.Configuration("listen_port"), "8089");
    EXPECT_EQ(install.Configuration("torvoagent_allow"), "0");
    EXPECT_EQ(install.Configuration("lang"), "zh");
    test::Sql(install.DbPath(), "update configuration set value='en' where key='lang'");
    const QByteArray runtime = install.RuntimeDir().toUtf8();
    ASSERT_EQ(chmod(runtime.constData(), 0777), 0);
    const QString unsafe = install.RunProbe({});
    EXPECT_TRUE(unsafe.contains("cannot keep its single-instance lock safely: " +
                                install.RuntimeDir() + " is open to other accounts") &&
                unsafe.contains("ended") && !unsafe.contains("painted"))
        << unsafe.toStdString();
    ASSERT_EQ(chmod(runtime.constData(), 0700), 0);
    const std::string path = (install.RuntimeDir() + "/" + kOneInstanceLockName).toStdString();
    auto old = std::make_unique<Lock>(path);
    ASSERT_EQ(old->TryAcquire(), Lock::Result::Acquired);
    for (const QStringList& args : {QStringList{}, {"--restart", "x"}}) {
        const QString out = install.RunProbe(args);
        EXPECT_TRUE(out.contains("message 提示|该程序已经在运行\nended"))
            << args.join(',').toStdString() << ": " << out.toStdString();
    }
    QProcess restarted;
    const test::ScopedEnv keepOpen("PROBE_KEEP_OPEN_MS", "20000");
    install.StartProbe(restarted, {"--restart"});
    ASSERT_TRUE(restarted.waitForReadyRead(20000));
    const QByteArray said = restarted.readAllStandardOutput();
    EXPECT_TRUE(said.contains("painted language=en title=TorvoProxy System") &&
                !said.contains("message"))
        << "went on";
    old.reset();  // the old console ends
    EXPECT_TRUE(
        test::WaitUntil([&] { return Lock(path).TryAcquire() == Lock::Result::HeldElsewhere; }));
    EXPECT_TRUE(install.RunProbe({}).contains("该程序已经在运行")) << "a third console is refused";
    restarted.kill();
    restarted.waitForFinished();
}

// Without a display nobody serves the console says why on standard error and ends with status 1;
// Qt never aborts it. (None set takes the same exit, its reason among the start-up rules' rows.)
TEST(Startup, WithoutADisplayItSaysWhyAndEndsWithStatusOne) {
    TestInstall install;
    QFile::copy(QStringLiteral(TORVO_PROBE_PATH), install.Dir() + "/MainUI");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("DISPLAY", ":97");
    env.insert("XDG_RUNTIME_DIR", install.RuntimeDir());
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(install.Dir() + "/MainUI", {});
    ASSERT_TRUE(probe.waitForFinished(20000));
    const QString error = QString::fromUtf8(probe.readAllStandardError());
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 1);
    EXPECT_TRUE(
        error.contains("cannot open a window: no display could be reached at DISPLAY=:97 ("))
        << error.toStdString();
    EXPECT_FALSE(QString::fromUtf8(probe.readAllStandardOutput()).contains("painted"));
}

// The run script lays out an install directory under the locale variable `lang`.
bool LayOut(const TestInstall& install, const QString& lang) {
    QDir(install.Dir()).mkpath("bin");
    // a stand-in for the console and the real server (it makes main.db), kept once there
    QFile::copy("/bin/true", install.Dir() + "/bin/MainUI");
    QFile::copy(TORVO_SERVER_PATH, install.Dir() + "/bin/TorvoProxyServer");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_MESSAGES", "LC_ALL", "LANG"}) env.remove(name);
    if (!lang.isEmpty()) env.insert("LANG", lang);
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(TORVO_SOURCE_DIR "/scripts/lay-out-install",
                 {install.Dir() + "/bin", install.Dir()});
    return script.waitForFinished(20000) && script.exitCode() == 0;
}

// An existing main.db is kept; no help link once the page is gone.
TEST(InstallLayout, FreshDatabaseTakesTheLocalesLanguageAndAboutLinksItsHelpPage) {
    for (const auto& [lang, expected, ui, title] :
         {std::tuple{"zh_CN.UTF-8", "zh", res::UiLanguage::Chinese, "<title>TorvoProxy 控制台帮助"},
          {"de_DE.UTF-8", "en", res::UiLanguage::English, "<title>TorvoProxy console help"}}) {
        TestInstall install;
        ASSERT_TRUE(LayOut(install, lang));
        EXPECT_EQ(install.Configuration("lang"), expected);
        EXPECT_EQ(install.Configuration("torvoagent_allow"), "0");
        EXPECT_TRUE(QFile::exists(install.Dir() + "/busy.gif") &&
                    QFile::exists(install.Dir() + "/version.ini"));
        EXPECT_EQ(QFile::permissions(install.Dir() + "/main.db") & 0x0077, 0)
            << "the accounts' digests are the owner's alone";
        ASSERT_TRUE(LayOut(install, std::string(expected) == "zh" ? "en_US.UTF-8" : "zh_CN.UTF-8"));
        EXPECT_EQ(install.Configuration("lang"), expected);  // the existing main.db is kept

        const test::ScopedOverride moduleDir(OverrideModuleDirectory, install.Dir().toStdString(),
                                             std::string());
        res::SetUiLanguage(ui);
        const QString help = install.Dir() + "/help-" + expected + ".html";
        CAboutDlg about;
        EXPECT_TRUE(about.HelpLink()->text().contains(QUrl::fromLocalFile(help).toString()));
        EXPECT_FALSE(about.HelpLink()->isHidden());
        EXPECT_TRUE(QString::fromStdString(test::ReadText(help.toStdString())).contains(title));
        QFile::remove(help);
        EXPECT_TRUE(CAboutDlg().HelpLink()->isHidden());
    }
    res::SetUiLanguage(res::UiLanguage::English);
}

}  // namespace
