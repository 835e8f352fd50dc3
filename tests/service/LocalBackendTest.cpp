// The local service backend for real: a stand-in server process is installed, started
// detached, queried, stopped, killed from outside, and removed again.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "service/LocalServiceFiles.h"
#include "service/LocalServiceManager.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceHandle.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kLimitMs = 5000;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 3s) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Gone, or a zombie nobody has reaped yet.
bool ProcessGone(pid_t pid) {
    if (::kill(pid, 0) != 0) return errno == ESRCH;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    stat >> pidText >> name >> state;
    return state == "Z";
}

pid_t ParentOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // "pid (name) state ppid ..."; the name may hold blanks, so read after the last ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class LocalBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/torvo-local-service-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        temp_ = pattern;
        fs::create_directories(temp_ + "/bin");
        fs::create_symlink(TORVO_TEST_SERVER_PATH, temp_ + "/bin/TorvoProxyServer");
        manager_ = std::make_shared<LocalServiceManager>(temp_ + "/services");
        ctrl_ = MakeCtrl(temp_ + "/bin/TorvoProxyServer -s");
        paths_ = std::make_unique<local_service::Paths>(temp_ + "/services/TorvoProxyServer");
    }

    void TearDown() override {
        for (const char* knob : {"TEST_SERVER_READY_DELAY_MS", "TEST_SERVER_STOP_DELAY_MS",
                                 "TEST_SERVER_IGNORE_TERM"}) {
            ::unsetenv(knob);
        }
        if (paths_ && local_service::ServerAlive(*paths_)) {
            if (auto pid = local_service::RecordedPid(*paths_)) {
                ::kill(*pid, SIGKILL);
                WaitUntil([&] { return ProcessGone(*pid); });
            }
        }
        if (!temp_.empty()) fs::remove_all(temp_);
    }

    std::unique_ptr<ProxyCtrl> MakeCtrl(const std::string& commandLine) {
        auto ctrl = std::make_unique<ProxyCtrl>(manager_, commandLine);
        ctrl->SetPollInterval(20ms);
        ctrl->SetUninstallStopLimit(kLimitMs);
        return ctrl;
    }

    pid_t ServerPid() { return local_service::RecordedPid(*paths_).value_or(0); }

    std::string temp_;
    std::shared_ptr<LocalServiceManager> manager_;
    std::unique_ptr<ProxyCtrl> ctrl_;
    std::unique_ptr<local_service::Paths> paths_;
};

TEST_F(LocalBackendTest, InstallStartQueryStopUninstall) {
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    ASSERT_TRUE(ctrl_->Install());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    const auto registration = local_service::ReadRegistration(paths_->registration);
    ASSERT_TRUE(registration.has_value());
    EXPECT_EQ(registration->at("command_line"), temp_ + "/bin/TorvoProxyServer -s");
    EXPECT_EQ(registration->at("display_name"), "Torvo Proxy Server");
    EXPECT_EQ(registration->at("description"), "Torvo Proxy Server");
    EXPECT_EQ(registration->at("start_type"), "auto");
    EXPECT_EQ(registration->at("failure_actions"), "1:60000 1:60000 1:60000");

    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    const pid_t server = ServerPid();
    ASSERT_GT(server, 1);
    EXPECT_NE(ParentOf(server), ::getpid()) << "the server is detached from the console";
    EXPECT_EQ(ReadFile(paths_->logFile), "arguments: -s\n");

    // A console started afresh reads the same state from the files.
    ProxyCtrl restarted(std::make_shared<LocalServiceManager>(temp_ + "/services"), "unused");
    EXPECT_EQ(restarted.QueryStatus(), kServiceRunning);
    EXPECT_TRUE(restarted.Start(kLimitMs)) << "already running: nothing to do";
    EXPECT_EQ(ServerPid(), server);

    ASSERT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(server); }));

    // Uninstalling a running service stops it first.
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    const pid_t second = ServerPid();
    ASSERT_TRUE(ctrl_->Uninstall());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(second); }));
    EXPECT_FALSE(fs::exists(paths_->dir));
}

TEST_F(LocalBackendTest, ServerKilledFromOutsideReadsStopped) {
    ASSERT_TRUE(ctrl_->Install());
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    const pid_t server = ServerPid();
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    EXPECT_TRUE(WaitUntil([&] { return ctrl_->QueryStatus() == kServiceStopped; }));
    // The files still say "running": the lock is what counts.
    EXPECT_EQ(local_service::ReadStateWord(*paths_), "running");

    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    EXPECT_NE(ServerPid(), server);
}

TEST_F(LocalBackendTest, StalePidNeverReadsRunningAndIsNeverSignalled) {
    ASSERT_TRUE(ctrl_->Install());
    // A pid file that names a live process (this test) but is not locked by it.
    std::ofstream(paths_->pidFile) << ::getpid() << "\n";
    std::ofstream(paths_->stateFile) << "running\n";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    EXPECT_TRUE(ctrl_->Stop(kLimitMs));  // stopped: nothing to do

    ServiceHandle handle(*manager_, "TorvoProxyServer");
    ASSERT_EQ(handle.Open(), service_error::kNone);
    EXPECT_FALSE(handle.ControlStop());  // would have sent SIGTERM to this test
    EXPECT_EQ(handle.LastError(), service_error::kServiceNotActive);
}

TEST_F(LocalBackendTest, StartWaitsUntilTheServerReportsRunning) {
    ASSERT_TRUE(ctrl_->Install());
    ::setenv("TEST_SERVER_READY_DELAY_MS", "400", 1);
    const auto begin = Clock::now();
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_GE(Clock::now() - begin, 400ms);
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));

    // Not ready within the limit: false, and the server keeps starting on its own.
    ::setenv("TEST_SERVER_READY_DELAY_MS", "2000", 1);
    EXPECT_FALSE(ctrl_->Start(300));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStartPending);
    EXPECT_TRUE(WaitUntil([&] { return ctrl_->QueryStatus() == kServiceRunning; }));
}

TEST_F(LocalBackendTest, StopWaitsForTheServerToEnd) {
    ASSERT_TRUE(ctrl_->Install());
    ::setenv("TEST_SERVER_STOP_DELAY_MS", "300", 1);
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    const auto begin = Clock::now();
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_GE(Clock::now() - begin, 300ms);

    // A server that ignores the request: false after the limit, left stopping.
    ::setenv("TEST_SERVER_IGNORE_TERM", "1", 1);
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_FALSE(ctrl_->Stop(300));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopPending);
}

TEST_F(LocalBackendTest, MissingProgramFailsAtOnce) {
    auto ctrl = MakeCtrl(temp_ + "/bin/NoSuchServer -s");
    ASSERT_TRUE(ctrl->Install());
    const auto begin = Clock::now();
    EXPECT_FALSE(ctrl->Start(kLimitMs));
    EXPECT_LT(Clock::now() - begin, 2s) << "an exec failure is not waited out";
    EXPECT_EQ(ctrl->QueryStatus(), kServiceStopped);

    auto pathless = MakeCtrl(" -s");
    ASSERT_TRUE(pathless->Uninstall());
    ASSERT_TRUE(pathless->Install());
    EXPECT_FALSE(pathless->Start(kLimitMs));
}

// A server started by hand, without the console's launch, follows the same files.
TEST_F(LocalBackendTest, ServerStartedByHandIsSeen) {
    ASSERT_TRUE(ctrl_->Install());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("TORVO_SERVICE_DIR", paths_->dir.c_str(), 1);
        ::unsetenv("TORVO_SERVICE_LOCK_FD");
        ::execl(TORVO_TEST_SERVER_PATH, TORVO_TEST_SERVER_PATH, "-s", nullptr);
        ::_exit(127);
    }
    EXPECT_TRUE(WaitUntil([&] { return ctrl_->QueryStatus() == kServiceRunning; }));
    EXPECT_EQ(ServerPid(), child);
    EXPECT_TRUE(ctrl_->Stop(kLimitMs));
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
