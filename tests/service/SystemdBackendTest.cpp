// The systemd backend: unit texts, state mapping, D-Bus calls to python3-dbusmock's systemd.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "service/ProxyCtrl.h"
#include "service/SystemdServiceManager.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace raw_state;
constexpr uint32_t kLimitMs = 5000;

pid_t Spawn(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// The manager methods the mock's template lacks; as in systemd, LoadUnit knows the unit files
// found by the last Reload, and (re)loaded units start inactive.
constexpr const char* kUnitCode = R"(
import os
def unit(mock, name, load):
    path = '/org/freedesktop/systemd1/unit/' + name.replace('.', '_')
    props = {'Id': name, 'LoadState': load, 'ActiveState': 'inactive', 'SubState': 'dead'}
    if path not in objects: mock.AddObject(path, 'org.freedesktop.systemd1.Unit', props, [])
    objects[path].UpdateProperties('org.freedesktop.systemd1.Unit', props)
    return path
)";
constexpr const char* kLoadUnit =
    "ret = self.units.get(str(args[0])) or unit(self, str(args[0]), 'not-found')";
constexpr const char* kReload = R"(
files = set(f for f in os.listdir(os.environ['TEST_UNIT_DIR']) if f.endswith('.service'))
for name in set(self.units) ^ files:
    if name in files: self.units[name] = unit(self, name, 'loaded')
    else: del self.units[name]; unit(self, name, 'not-found')
)";

// Percent, dollar and backslash reach the program as written ("$" is a variable in arguments
// only); quotes keep a blank path one word. The install folder stays writable, quoted for a path
// ("$" is no variable there), the system read-only; the home folders are hidden unless the
// server lives in one.
TEST(SystemdUnitTextTest, UnitFileEscapesConfinesFailureActionsAndStates) {
    const std::string escaped =
        systemd_service::UnitFileText({"X", "100% sure", "\"/opt/my dir/a$b\\1%\" -s$x", false});
    EXPECT_EQ(escaped.substr(0, escaped.find("NoNewPrivileges")),
              "[Unit]\nDescription=100%% sure\nAfter=network.target\n\n"
              "[Service]\nType=notify\nExecStart=\"/opt/my dir/a$b\\\\1%%\" \"-s$$x\"\n");
    for (const char* line : {"NoNewPrivileges=yes\nProtectSystem=strict\n", "PrivateTmp=yes\n",
                             "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"})
        EXPECT_NE(escaped.find(line), std::string::npos) << line;
    const std::pair<const char*, const char*> folders[] = {
        // the lines that depend on it
        {"/opt/a$b%c/TorvoProxyServer",
         "ReadWritePaths=\"-/opt/a$b%%c/TPS_SQLITE_MUTEXT_NAME\"\nProtectHome=yes\n"},
        {"/opt/torvo/../t/TorvoProxyServer -s",
         "ReadWritePaths=\"-/opt/t/TPS_SQLITE_MUTEXT_NAME\"\nProtectHome=yes\n"},
        {"/home/ann/torvo/TorvoProxyServer", "\"-/home/ann/torvo/TPS_SQLITE_MUTEXT_NAME\"\n"},
        {"/root/no-torvo/TorvoProxyServer", "\"-/root/no-torvo/TPS_SQLITE_MUTEXT_NAME\"\n"},
        {"/homestead/TorvoProxyServer",
         "\"-/homestead/TPS_SQLITE_MUTEXT_NAME\"\nProtectHome=yes\n"},
        {"TorvoProxyServer -s", "NoNewPrivileges=yes\nProtectHome=yes\n"},
    };
    for (const auto& [commandLine, lines] : folders) {
        const std::string text = systemd_service::UnitFileText({"X", "X", commandLine, false});
        const size_t end = text.find("PrivateTmp");
        EXPECT_EQ(text.substr(end - std::strlen(lines), std::strlen(lines)), lines) << text;
    }
    // The install folder is read-only with everything in it; the server writes exactly main.db,
    // its journal and its lock (a database file missing fails the server's first write, an
    // entry too many opens a packaged file); a main.db of another account makes the server run
    // as that account.
    const test::TempDir install;
    const std::string& folder = install.path();
    std::ofstream(folder + "/main.db");
    const std::string writable =
        "ProtectSystem=strict\nReadWritePaths=\"-" + folder + "/main.db\"\nReadWritePaths=\"-" +
        folder + "/main.db-journal\"\nReadWritePaths=\"-" + folder + "/TPS_SQLITE_MUTEXT_NAME\"\n";
    for (const uid_t owner : {0u, 1234u}) {
        ASSERT_EQ(::chown((folder + "/main.db").c_str(), owner, owner), 0);
        const std::string text =
            systemd_service::UnitFileText({"X", "X", folder + "/TorvoProxyServer -s", false});
        const size_t from = text.find("ProtectSystem=");
        EXPECT_EQ(text.substr(from, text.find("ProtectHome=") - from),
                  writable + (owner ? "User=1234\nGroup=1234\nAmbientCapabilities="
                                      "CAP_NET_BIND_SERVICE\n"
                                    : ""));
        EXPECT_EQ(text.find(folder, text.find("PrivateTmp=")), std::string::npos)
            << "no path of the folder among the other settings: " << text;
    }
    EXPECT_EQ(systemd_service::FailureActionsDropIn(FailureActions{}), "[Service]\nRestart=no\n");
    const std::tuple<const char*, const char*, uint32_t> rows[] = {
        {"activating", "start", kStartPending},   {"active", "running", kRunning},
        {"reloading", "reload", kRunning},        {"deactivating", "stop-sigterm", kStopPending},
        {"inactive", "dead", kStopped},           {"failed", "failed", kStopped},
        {"activating", "auto-restart", kStopped}, {"maintenance", "", 0},
    };
    for (const auto& [active, sub, raw] : rows)
        EXPECT_EQ(systemd_service::RawStateFromUnit(active, sub), raw) << active << "/" << sub;
}

// A private dbus-daemon with the mock on it, standing in for the system bus and systemd.
class SystemdBackendTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(StartMock(), "") << "no mock of systemd"; }
    void TearDown() override {
        for (pid_t pid : {mock_, daemon_})
            if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
    }
    // Empty on success, else why the mock could not be set up.
    std::string StartMock() {
        fs::create_directories(unitDir_);
        // No service directories: nothing is ever activated on this bus.
        std::ofstream(work_ + "/bus.conf")
            << "<busconfig><listen>unix:path=" << work_ << "/bus</listen><policy context='default'>"
            << "<allow send_destination='*'/><allow receive_sender='*'/><allow own='*'/></policy>"
            << "</busconfig>\n";
        daemon_ =
            Spawn({"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + work_ + "/bus.conf"});
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + work_ + "/bus").c_str(), 1);
        ::setenv("TEST_UNIT_DIR", unitDir_.c_str(), 1);
        mock_ = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "systemd", "-l",
                       work_ + "/dbusmock.log"});
        if (daemon_ < 0 || mock_ < 0) return "cannot run dbus-daemon or python3 -m dbusmock";
        // Adding the methods its template lacks also tells when the mock is on the bus.
        const std::string load = std::string(kUnitCode) + kLoadUnit;
        const std::string reload = std::string(kUnitCode) + kReload;
        const auto added = [&] {
            sd_bus* bus = nullptr;
            const bool ok =
                sd_bus_open_system(&bus) >= 0 &&
                sd_bus_call_method(bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                   "org.freedesktop.DBus.Mock", "AddMethods", nullptr, nullptr,
                                   "sa(ssss)", "org.freedesktop.systemd1.Manager", 4, "LoadUnit",
                                   "s", "o", load.c_str(), "Reload", "", "", reload.c_str(),
                                   "EnableUnitFiles", "asbb", "ba(sss)", "ret = (False, [])",
                                   "DisableUnitFiles", "asb", "a(sss)", "ret = []") >= 0;
            sd_bus_flush_close_unref(bus);
            return ok;
        };
        bool ended = false;  // the mock exited
        const auto up = [&] { return added() || (ended = ::waitpid(mock_, nullptr, WNOHANG) > 0); };
        if (test::WaitUntil(up, 20s) && !ended) return "";
        if (ended) mock_ = -1;
        return "the mock did not come up; see " + work_ + "/dbusmock.log";
    }
    // How often the mock logged `call` (a method name and its arguments).
    size_t Logged(const std::string& call) {
        const std::string log = test::ReadText(work_ + "/dbusmock.log");
        size_t n = 0;
        for (size_t at = log.find(call); at != std::string::npos; at = log.find(call, at + 1)) ++n;
        return n;
    }

    test::TempDir dir_;
    std::string work_ = dir_.path();
    std::string unitDir_ = work_ + "/units", unitFile_ = unitDir_ + "/TorvoProxyServer.service";
    pid_t daemon_ = -1, mock_ = -1;
};

TEST_F(SystemdBackendTest, InstallStartStopUninstallOverTheBus) {
    ProxyCtrl ctrl(std::make_shared<SystemdServiceManager>(unitDir_),
                   "/opt/torvo/TorvoProxyServer -s");
    ctrl.SetPollInterval(10ms);
    EXPECT_EQ(ctrl.QueryStatus(), kServiceUnknown) << "no unit";
    ASSERT_TRUE(ctrl.Install());
    EXPECT_TRUE(test::ReadText(unitFile_).ends_with("\n[Install]\nWantedBy=multi-user.target\n"));
    EXPECT_EQ(test::ReadText(unitFile_ + ".d/10-description.conf"),
              "[Unit]\nDescription=Torvo Proxy Server\n");
    EXPECT_EQ(test::ReadText(unitFile_ + ".d/20-failure-actions.conf"),
              "[Unit]\nStartLimitIntervalSec=244\nStartLimitBurst=4\n\n"
              "[Service]\nRestart=on-failure\nRestartSec=60000ms\n");
    EXPECT_EQ(Logged("EnableUnitFiles [\"TorvoProxyServer.service\"] False True"), 1u);
    // systemd warns on every reload about unit files others cannot read
    for (const std::string& file : {unitFile_, unitFile_ + ".d/10-description.conf",
                                    unitFile_ + ".d/20-failure-actions.conf"})
        EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644)) << file;
    EXPECT_EQ(ctrl.QueryStatus(), kServiceStopped);
    // Asking again and again (the console asks before every control command) opens no further
    // connection to the bus: the bus numbers connections in order, so a probe's number tells.
    const auto connectionNumber = [] {
        sd_bus* probe = nullptr;
        const char* name = nullptr;
        long number = -1;
        if (sd_bus_open_system(&probe) >= 0 && sd_bus_get_unique_name(probe, &name) >= 0) {
            number = std::strtol(std::strrchr(name, '.') + 1, nullptr, 10);
        }
        sd_bus_flush_close_unref(probe);
        return number;
    };
    const long before = connectionNumber();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ctrl.QueryStatus(), kServiceStopped);
    EXPECT_EQ(connectionNumber(), before + 1) << "only the second probe";
    ASSERT_TRUE(ctrl.Start(kLimitMs));  // the mock's StartUnit makes the unit active
    EXPECT_EQ(ctrl.QueryStatus(), kServiceRunning);
    ASSERT_TRUE(ctrl.Stop(kLimitMs));
    EXPECT_EQ(ctrl.QueryStatus(), kServiceStopped);
    ctrl.SetUninstallStopLimit(kLimitMs);
    ASSERT_TRUE(ctrl.Uninstall());
    EXPECT_EQ(Logged("DisableUnitFiles [\"TorvoProxyServer.service\"] False"), 1u);
    EXPECT_FALSE(fs::exists(unitFile_) || fs::exists(unitFile_ + ".d"));
    EXPECT_EQ(ctrl.QueryStatus(), kServiceUnknown);
    // A unit file systemd has not loaded yet is found, not overwritten.
    std::ofstream(unitFile_) << "[Service]\n";
    EXPECT_TRUE(ctrl.Install());
    EXPECT_EQ(test::ReadText(unitFile_), "[Service]\n");
    EXPECT_EQ(Logged("EnableUnitFiles"), 1u);
    fs::remove(unitFile_);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + work_ + "/no-such-socket").c_str(), 1);
    EXPECT_EQ(ctrl.QueryStatus(), kServiceUnknown);
    EXPECT_FALSE(ctrl.Install()) << "no bus: a failure, not nothing to do";
    EXPECT_FALSE(fs::exists(unitFile_));
}

// A unit written for an older state of the install folder (another layout's protection, main.db
// since given to the server's account) is rewritten before the next start, and the database
// files the server may write exist then, main.db's owner's; another program's unit of the same
// name is left alone.
TEST_F(SystemdBackendTest, AStaleUnitIsRewrittenBeforeAStartAndAForeignOneKept) {
    const test::TempDir install;
    const std::string& folder = install.path();
    for (const char* name : {"TorvoProxyServer", "main.db"}) std::ofstream(folder + "/" + name);
    ::chmod((folder + "/main.db").c_str(), 0600);
    ProxyCtrl ctrl(std::make_shared<SystemdServiceManager>(unitDir_),
                   folder + "/TorvoProxyServer -s");
    ctrl.SetPollInterval(10ms);
    ASSERT_TRUE(ctrl.Install());
    const std::string first = test::ReadText(unitFile_);
    ASSERT_EQ(first.find("User="), std::string::npos);
    test::WriteText(unitFile_, first + "ReadOnlyPaths=\"" + folder + "/gone.html\"\n");
    ASSERT_EQ(::chown((folder + "/main.db").c_str(), 1234, 1234), 0);
    const size_t reloads = Logged("Reload");
    ASSERT_TRUE(ctrl.Start(kLimitMs));
    const std::string unit = test::ReadText(unitFile_);
    EXPECT_EQ(unit.find("gone.html"), std::string::npos) << unit;
    EXPECT_NE(unit.find("User=1234\nGroup=1234\n"), std::string::npos) << unit;
    EXPECT_EQ(fs::status(unitFile_).permissions(), fs::perms(0644));
    EXPECT_EQ(Logged("Reload"), reloads + 1) << "systemd is told of the new unit";
    for (const char* name : {"main.db-journal", "TPS_SQLITE_MUTEXT_NAME"}) {
        struct stat made {};
        ASSERT_EQ(::stat((folder + "/" + name).c_str(), &made), 0) << name;
        EXPECT_EQ(made.st_uid, 1234u) << name;
        EXPECT_EQ(made.st_mode & 0777, 0600u) << name;
    }
    ASSERT_TRUE(ctrl.Stop(kLimitMs));
    EXPECT_TRUE(ctrl.Install()) << "an installed unit up to date";
    EXPECT_EQ(Logged("Reload"), reloads + 1) << "an unchanged unit is not rewritten";
    const std::string foreign = "[Service]\nExecStart=/usr/bin/other\n";
    test::WriteText(unitFile_, foreign);
    ASSERT_TRUE(ctrl.Start(kLimitMs));
    EXPECT_EQ(test::ReadText(unitFile_), foreign);
}

}  // namespace
