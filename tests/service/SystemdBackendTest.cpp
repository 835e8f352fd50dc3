// The systemd backend: its unit texts, and its D-Bus calls against python3-dbusmock's systemd
// template on a private bus.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "service/ProxyCtrl.h"
#include "service/SystemdServiceManager.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
constexpr uint32_t kLimitMs = 5000;
constexpr const char* kUnit = "TorvoProxyServer.service";
constexpr const char* kSystemd = "org.freedesktop.systemd1";
constexpr const char* kUnitPath = "/org/freedesktop/systemd1/unit/TorvoProxyServer_service";

std::string ReadFile(const std::string& path, size_t from = 0) {
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    return content.str().substr(std::min(from, content.str().size()));
}

pid_t Spawn(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Code the mock runs (with `self` and `args`) for the manager methods its template lacks. As
// in systemd, LoadUnit knows the unit files found by the last Reload; (re)loaded units start
// inactive.
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

// Percent signs, dollar signs and backslashes reach the program as written; double quotes keep a
// path with blanks in one word.
TEST(SystemdUnitTextTest, UnitFileEscapesAndFailureActions) {
    EXPECT_EQ(
        systemd_service::UnitFileText({"X", "100% sure", "\"/opt/my dir/a$b\\1%\" -s", false}),
        "[Unit]\nDescription=100%% sure\nAfter=network.target\n\n"
        "[Service]\nType=simple\nExecStart=\"/opt/my dir/a$$b\\\\1%%\" \"-s\"\n");
    EXPECT_EQ(systemd_service::FailureActionsDropIn(FailureActions{}), "[Service]\nRestart=no\n");
}

// One private dbus-daemon with the mock on it for the whole suite, standing in for the system
// bus and systemd; each test starts with no unit.
class SystemdBackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/torvo-systemd-mock-XXXXXX";
        work_ = ::mkdtemp(pattern) ? pattern : "/nonexistent";
        fs::create_directories(work_ + "/units");
        setupError_ = StartMock();
    }
    static void TearDownTestSuite() {
        for (pid_t pid : {mock_, daemon_}) {
            if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
        }
        fs::remove_all(work_);
    }
    // Empty on success, else why the mock could not be set up.
    static std::string StartMock() {
        address_ = "unix:path=" + work_ + "/system_bus_socket";
        // No service directories: nothing is ever activated on this bus.
        std::ofstream(work_ + "/bus.conf")
            << "<busconfig><listen>" << address_ << "</listen><policy context='default'><allow "
            << "send_destination='*'/><allow receive_sender='*'/><allow own='*'/></policy>"
            << "</busconfig>\n";
        daemon_ =
            Spawn({"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + work_ + "/bus.conf"});
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        ::setenv("TEST_UNIT_DIR", (work_ + "/units").c_str(), 1);
        mock_ = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "systemd", "-l",
                       work_ + "/dbusmock.log"});
        if (daemon_ < 0 || mock_ < 0) return "cannot run dbus-daemon or python3 -m dbusmock";
        // The first added method also tells when the mock is on the bus.
        for (const auto end = std::chrono::steady_clock::now() + 20s;
             !AddMethod("LoadUnit", "s", "o", std::string(kUnitCode) + kLoadUnit);) {
            if (::waitpid(mock_, nullptr, WNOHANG) == mock_ ||
                std::chrono::steady_clock::now() > end) {
                mock_ = -1;
                return "the mock did not come up; see " + work_ + "/dbusmock.log";
            }
            std::this_thread::sleep_for(50ms);
        }
        const bool added = AddMethod("Reload", "", "", std::string(kUnitCode) + kReload) &&
                           AddMethod("EnableUnitFiles", "asbb", "ba(sss)", "ret = (False, [])") &&
                           AddMethod("DisableUnitFiles", "asb", "a(sss)", "ret = []");
        return added ? "" : "cannot add methods to the mock";
    }
    template <typename... Args>
    static bool Call(const char* path, const char* interface, const char* method, Args... args) {
        sd_bus* bus = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const bool ok = sd_bus_open_system(&bus) >= 0 &&
                        sd_bus_call_method(bus, kSystemd, path, interface, method, &error, nullptr,
                                           args...) >= 0;
        sd_bus_flush_close_unref(bus);
        sd_bus_error_free(&error);
        return ok;
    }
    static bool AddMethod(const char* name, const char* in, const char* out,
                          const std::string& code) {
        return Call("/org/freedesktop/systemd1", "org.freedesktop.DBus.Mock", "AddMethod", "sssss",
                    "org.freedesktop.systemd1.Manager", name, in, out, code.c_str());
    }
    bool SetUnitState(const char* active, const char* sub) {
        return Call(kUnitPath, "org.freedesktop.DBus.Mock", "UpdateProperties", "sa{sv}",
                    "org.freedesktop.systemd1.Unit", 2, "ActiveState", "s", active, "SubState", "s",
                    sub);
    }
    // This test's calls of `method`, arguments as the mock logs them.
    std::vector<std::string> Calls(const std::string& method) {
        std::vector<std::string> calls;
        std::istringstream log(ReadFile(work_ + "/dbusmock.log", logMark_));
        for (std::string stamp, line; log >> stamp && std::getline(log, line);) {
            if (line.rfind(" " + method, 0) == 0) calls.push_back(line.substr(method.size() + 1));
        }
        return calls;
    }
    void SetUp() override {
        ASSERT_TRUE(setupError_.empty()) << "no mock of systemd: " << setupError_;
        for (const auto& entry : fs::directory_iterator(unitDir_)) fs::remove_all(entry.path());
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        ASSERT_TRUE(Call("/org/freedesktop/systemd1", "org.freedesktop.systemd1.Manager", "Reload",
                         ""));  // forgets the previous test's unit
        ctrl_.SetPollInterval(10ms);
        ctrl_.SetUninstallStopLimit(kLimitMs);
        logMark_ = fs::file_size(work_ + "/dbusmock.log");
    }

    static inline std::string work_, address_, setupError_;
    static inline pid_t daemon_ = -1, mock_ = -1;
    size_t logMark_ = 0;
    const std::string unitDir_ = work_ + "/units", unitFile_ = unitDir_ + "/" + kUnit;
    std::shared_ptr<SystemdServiceManager> manager_ =
        std::make_shared<SystemdServiceManager>(unitDir_);
    ProxyCtrl ctrl_{manager_, "/opt/torvo/TorvoProxyServer -s"};
};

TEST_F(SystemdBackendTest, InstallStartStopUninstall) {
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown) << "no unit";
    ASSERT_TRUE(ctrl_.Install());
    EXPECT_EQ(ReadFile(unitFile_),
              "[Unit]\nDescription=Torvo Proxy Server\nAfter=network.target\n\n"
              "[Service]\nType=simple\nExecStart=\"/opt/torvo/TorvoProxyServer\" \"-s\"\n\n"
              "[Install]\nWantedBy=multi-user.target\n");
    EXPECT_EQ(ReadFile(unitFile_ + ".d/10-description.conf"),
              "[Unit]\nDescription=Torvo Proxy Server\n");
    EXPECT_EQ(ReadFile(unitFile_ + ".d/20-failure-actions.conf"),
              "[Unit]\nStartLimitIntervalSec=244\nStartLimitBurst=4\n\n"
              "[Service]\nRestart=on-failure\nRestartSec=60000ms\n");
    EXPECT_EQ(Calls("EnableUnitFiles"),
              std::vector<std::string>{" [\"TorvoProxyServer.service\"] False True"});
    EXPECT_FALSE(Calls("Reload").empty());
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceStopped);

    ASSERT_TRUE(ctrl_.Start(kLimitMs));  // the mock's StartUnit makes the unit active
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceRunning);
    ASSERT_TRUE(ctrl_.Stop(kLimitMs));
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceStopped);

    ASSERT_TRUE(ctrl_.Uninstall());
    EXPECT_EQ(Calls("DisableUnitFiles"),
              std::vector<std::string>{" [\"TorvoProxyServer.service\"] False"});
    EXPECT_FALSE(fs::exists(unitFile_));
    EXPECT_FALSE(fs::exists(unitFile_ + ".d"));
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown);
}

TEST_F(SystemdBackendTest, StateFollowsTheUnitsActiveAndSubState) {
    ASSERT_TRUE(ctrl_.Install());
    const std::tuple<const char*, const char*, int> rows[] = {
        {"activating", "start", kServiceStartPending},
        {"active", "running", kServiceRunning},
        {"reloading", "reload", kServiceRunning},
        {"deactivating", "stop-sigterm", kServiceStopPending},
        {"inactive", "dead", kServiceStopped},
        {"failed", "failed", kServiceStopped},
        {"activating", "auto-restart", kServiceStopped},
        {"maintenance", "", kServiceUnknown},
    };
    for (const auto& [active, sub, expected] : rows) {
        ASSERT_TRUE(SetUnitState(active, sub));
        EXPECT_EQ(ctrl_.QueryStatus(), expected) << active << "/" << sub;
    }
}

TEST_F(SystemdBackendTest, InstallWhenPresentChangesNothing) {
    // The file is there but systemd was not told yet: it is found, not overwritten.
    std::ofstream(unitFile_) << "[Service]\n";
    EXPECT_TRUE(ctrl_.Install());
    EXPECT_EQ(ReadFile(unitFile_), "[Service]\n");
    EXPECT_FALSE(fs::exists(unitFile_ + ".d"));
    EXPECT_TRUE(Calls("EnableUnitFiles").empty());
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceStopped);
}

TEST_F(SystemdBackendTest, UnreachableBusReadsUnknownAndInstallFails) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + work_ + "/no-such-socket").c_str(), 1);
    EXPECT_EQ(ctrl_.QueryStatus(), kServiceUnknown);
    EXPECT_FALSE(ctrl_.Install());
    EXPECT_TRUE(ctrl_.Start(kLimitMs)) << "state 0: nothing to start";
    EXPECT_FALSE(fs::exists(unitFile_));
}

}  // namespace
