// The local service backend for real, with the stand-in server process.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
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

bool WaitUntil(const std::function<bool()>& condition) {
    for (const auto end = Clock::now() + 3s; !condition(); std::this_thread::sleep_for(10ms)) {
        if (Clock::now() > end) return false;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    return content.str();
}

// Fields after the process name of /proc/<pid>/stat: state, parent, ...
std::istringstream ProcStat(pid_t pid) {
    const std::string line = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return std::istringstream(line.substr(line.rfind(')') + 1));
}

bool EndsSoon(pid_t pid) {  // gone, or a zombie nobody has reaped yet
    return WaitUntil([&] {
        std::string state = "Z";
        ProcStat(pid) >> state;
        return ::kill(pid, 0) != 0 || state == "Z";
    });
}

class LocalBackendTest : public ::testing::Test {
protected:
    LocalBackendTest() {
        fs::create_directories(temp_ + "/bin");
        fs::create_symlink(TORVO_TEST_SERVER_PATH, temp_ + "/bin/TorvoProxyServer");
    }
    void TearDown() override {
        ::unsetenv("TEST_SERVER_READY_DELAY_MS");
        ::unsetenv("TEST_SERVER_STOP_DELAY_MS");
        if (local_service::ServerAlive(paths_) && ::kill(Pid(), SIGKILL) == 0) EndsSoon(Pid());
        fs::remove_all(temp_);
    }
    std::unique_ptr<ProxyCtrl> MakeCtrl(const std::string& commandLine) {
        auto ctrl = std::make_unique<ProxyCtrl>(manager_, commandLine);
        ctrl->SetPollInterval(20ms);
        ctrl->SetUninstallStopLimit(kLimitMs);
        return ctrl;
    }
    pid_t Pid() { return local_service::RecordedPid(paths_).value_or(0); }

    std::string temp_ = [] {
        char pattern[] = "/tmp/torvo-local-service-XXXXXX";
        return std::string(::mkdtemp(pattern) ? pattern : "/nonexistent");
    }();
    std::shared_ptr<LocalServiceManager> manager_ =
        std::make_shared<LocalServiceManager>(temp_ + "/services");
    std::unique_ptr<ProxyCtrl> ctrl_ = MakeCtrl(temp_ + "/bin/TorvoProxyServer -s");
    local_service::Paths paths_{temp_ + "/services/TorvoProxyServer"};
};

TEST_F(LocalBackendTest, InstallStartQueryKillStopUninstallWaitingForTheServersWord) {
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    ASSERT_TRUE(ctrl_->Install());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    // Start and stop wait for the server's own word.
    ::setenv("TEST_SERVER_READY_DELAY_MS", "300", 1);
    ::setenv("TEST_SERVER_STOP_DELAY_MS", "300", 1);
    auto begin = Clock::now();
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_GE(Clock::now() - begin, 300ms);
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    const pid_t first = Pid();
    std::string state;
    pid_t parent = 0;
    ProcStat(first) >> state >> parent;
    EXPECT_NE(parent, ::getpid()) << "the server is detached from the console";
    EXPECT_EQ(ReadFile(paths_.logFile), "arguments: -s\n");
    // A console started afresh reads the same state from the files.
    ProxyCtrl other(std::make_shared<LocalServiceManager>(temp_ + "/services"), "unused");
    EXPECT_EQ(other.QueryStatus(), kServiceRunning);
    // Killed from outside: stopped, though the state file still says "running".
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    EXPECT_TRUE(WaitUntil([&] { return ctrl_->QueryStatus() == kServiceStopped; }));
    EXPECT_EQ(local_service::ReadStateWord(paths_), "running");
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    const pid_t second = Pid();
    EXPECT_NE(second, first);

    begin = Clock::now();
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_GE(Clock::now() - begin, 300ms);
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    EXPECT_TRUE(EndsSoon(second));
    // Uninstalling a running service stops it first.
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    const pid_t third = Pid();
    ASSERT_TRUE(ctrl_->Uninstall());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    EXPECT_TRUE(EndsSoon(third));
    EXPECT_FALSE(fs::exists(paths_.dir));
}

// A pid file naming a live process (this test) that does not hold its lock.
TEST_F(LocalBackendTest, StalePidNeverReadsRunningAndIsNeverSignalled) {
    ASSERT_TRUE(ctrl_->Install());
    std::ofstream(paths_.pidFile) << ::getpid() << "\n";
    std::ofstream(paths_.stateFile) << "running\n";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    ServiceHandle handle(*manager_, "TorvoProxyServer");
    ASSERT_EQ(handle.Open(), service_error::kNone);
    EXPECT_FALSE(handle.ControlStop());  // would have sent SIGTERM to this test
    EXPECT_EQ(handle.LastError(), service_error::kServiceNotActive);
}

TEST_F(LocalBackendTest, MissingProgramFailsAtOnce) {
    auto ctrl = MakeCtrl(temp_ + "/bin/NoSuchServer -s");
    ASSERT_TRUE(ctrl->Install());
    const auto begin = Clock::now();
    EXPECT_FALSE(ctrl->Start(kLimitMs));
    EXPECT_LT(Clock::now() - begin, 2s) << "an exec failure is not waited out";
    EXPECT_EQ(ctrl->QueryStatus(), kServiceStopped);
}

}  // namespace
