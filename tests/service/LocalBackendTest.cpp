// The local service backend for real, with the stand-in server process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "service/LocalServiceFiles.h"
#include "service/LocalServiceManager.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceHandle.h"
#include "service/UniqueFd.h"
#include "tests/support/Processes.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
constexpr uint32_t kLimitMs = 5000;

// Fields after the process name of /proc/<pid>/stat: state, parent, ...
std::istringstream ProcStat(pid_t pid) {
    const std::string line = test::ReadText("/proc/" + std::to_string(pid) + "/stat");
    return std::istringstream(line.substr(line.rfind(')') + 1));
}

bool EndsSoon(pid_t pid) {  // gone, or a zombie nobody has reaped yet
    return test::WaitUntil([&] {
        std::string state = "Z";
        ProcStat(pid) >> state;
        return ::kill(pid, 0) != 0 || state == "Z";
    });
}

class LocalBackendTest : public ::testing::Test {
protected:
    // A copy of the stand-in of the test's own: what runs it was started by this test, and
    // goes when the test ends, however the backend reads it and however the test ends.
    LocalBackendTest() {
        fs::create_directories(temp_ + "/bin");
        fs::copy_file(TORVO_TEST_SERVER_PATH, temp_ + "/bin/TorvoProxyServer");
        test::SweepWhenThisProgramEnds(temp_ + "/bin/TorvoProxyServer", temp_);
    }
    void TearDown() override {
        if (const pid_t pid = Pid(); pid > 0 && ::kill(pid, SIGKILL) == 0) EndsSoon(pid);
    }
    std::unique_ptr<ProxyCtrl> MakeCtrl(const std::string& commandLine) {
        auto ctrl = std::make_unique<ProxyCtrl>(manager_, commandLine);
        ctrl->SetPollInterval(20ms);
        ctrl->SetUninstallStopLimit(kLimitMs);
        return ctrl;
    }
    pid_t Pid() { return local_service::LockHolder(paths_).value_or(0); }

    test::TempDir dir_;
    std::string temp_ = dir_.path();
    std::shared_ptr<LocalServiceManager> manager_ =
        std::make_shared<LocalServiceManager>(temp_ + "/services");
    std::unique_ptr<ProxyCtrl> ctrl_ = MakeCtrl(temp_ + "/bin/TorvoProxyServer -s");
    local_service::Paths paths_{temp_ + "/services/TorvoProxyServer"};
    ServiceHandle handle_{*manager_, "TorvoProxyServer"};  // opened by the tests that use it
};

TEST_F(LocalBackendTest, InstallStartQueryStopKillUninstallWaitingForTheServersWord) {
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    ASSERT_TRUE(ctrl_->Install());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    // Start and stop wait for the server's word: until then a short limit fails, state pending.
    {
        const test::ScopedEnv ready("TEST_SERVER_READY_DELAY_MS", "1500");
        const test::ScopedEnv stop("TEST_SERVER_STOP_DELAY_MS", "1500");
        EXPECT_FALSE(ctrl_->Start(50));
        EXPECT_EQ(ctrl_->QueryStatus(), kServiceStartPending);
    }
    EXPECT_TRUE(test::WaitUntil([&] { return ctrl_->QueryStatus() == kServiceRunning; }));
    const pid_t first = Pid();
    std::string state;
    pid_t parent = 0;
    ProcStat(first) >> state >> parent;
    EXPECT_NE(parent, ::getpid()) << "the server is detached from the console";
    EXPECT_EQ(test::ReadText(paths_.logFile), "--- started by the console ---\narguments: -s\n");
    // A console started afresh reads the same state from the files.
    ProxyCtrl other(std::make_shared<LocalServiceManager>(temp_ + "/services"), "unused");
    EXPECT_EQ(other.QueryStatus(), kServiceRunning);
    EXPECT_FALSE(ctrl_->Stop(50));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopPending);
    EXPECT_TRUE(test::WaitUntil([&] { return ctrl_->QueryStatus() == kServiceStopped; }));
    EXPECT_TRUE(EndsSoon(first));
    // Killed from outside: stopped, though the state file still says "running".
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    const pid_t second = Pid();
    EXPECT_NE(second, first);
    ASSERT_EQ(::kill(second, SIGKILL), 0);
    EXPECT_TRUE(test::WaitUntil([&] { return ctrl_->QueryStatus() == kServiceStopped; }));
    EXPECT_EQ(local_service::ReadStateWord(paths_), "running");
    // Uninstalling a running service stops it first.
    ASSERT_TRUE(ctrl_->Toggle(kLimitMs));
    const pid_t third = Pid();
    ASSERT_TRUE(ctrl_->Uninstall());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown);
    EXPECT_TRUE(EndsSoon(third));
    EXPECT_FALSE(fs::exists(paths_.dir));
}

TEST_F(LocalBackendTest, FoldersAreTheAccountsOwnAndFilesAreClosedToOthers) {
    {
        const test::ScopedUmask open(0);  // the modes do not rest on the umask
        ASSERT_TRUE(ctrl_->Install());
        ASSERT_TRUE(ctrl_->Start(kLimitMs));
    }
    EXPECT_EQ(test::ModeOf(temp_ + "/services"), 0700u);
    EXPECT_EQ(test::ModeOf(paths_.dir), 0700u);
    for (const std::string* file : {&paths_.registration, &paths_.pidFile, &paths_.stateFile,
                                    &paths_.logFile, &paths_.controlLock})
        EXPECT_EQ(test::ModeOf(*file), 0600u) << *file;
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));

    // A folder open to others, one of another account's, or a link: nothing in it is used.
    const auto refused = [&](const char* what) {
        EXPECT_EQ(handle_.Open(), service_error::kAccessDenied) << what;
        EXPECT_EQ(ctrl_->QueryStatus(), kServiceUnknown) << what;
    };
    ASSERT_EQ(::chmod(paths_.dir.c_str(), 0755), 0);
    refused("open to others");
    ASSERT_EQ(::chmod(paths_.dir.c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(paths_.dir.c_str(), 65534, 65534), 0);
        refused("another account's");
        ASSERT_EQ(::chown(paths_.dir.c_str(), 0, 0), 0);
    }
    fs::rename(temp_ + "/services", temp_ + "/elsewhere");
    fs::create_directory_symlink(temp_ + "/elsewhere", temp_ + "/services");
    refused("a link");
    EXPECT_FALSE(ctrl_->Install());
}

// Links and FIFOs planted in the folder are never followed, written through or waited on.
TEST_F(LocalBackendTest, PlantedLinksAndFifosAreNeitherFollowedNorWaitedOn) {
    ASSERT_TRUE(ctrl_->Install());
    const std::string victim = temp_ + "/victim";
    std::ofstream(victim) << "keep\n";
    ::chmod(victim.c_str(), 0600);
    const auto untouched = [&](const char* what) {
        EXPECT_EQ(test::ReadText(victim), "keep\n") << what;
        EXPECT_EQ(test::ModeOf(victim), 0600u) << what;
    };
    fs::create_symlink(victim, paths_.pidFile);
    EXPECT_FALSE(ctrl_->Start(kLimitMs));
    untouched("server.pid");
    fs::remove(paths_.pidFile);
    fs::create_symlink(victim, paths_.stateFile + ".tmp." + std::to_string(::getpid()));
    EXPECT_TRUE(local_service::WriteFileAtomically(paths_.stateFile, "stopping\n"));
    untouched("temporary file");
    EXPECT_EQ(local_service::ReadStateWord(paths_), "stopping");
    fs::remove(paths_.controlLock);
    fs::create_symlink(temp_ + "/made", paths_.controlLock);
    EXPECT_FALSE(ctrl_->Start(kLimitMs));
    EXPECT_FALSE(fs::exists(temp_ + "/made")) << "a dangling link made nothing";
    fs::remove(paths_.controlLock);

    ASSERT_EQ(::mkfifo(paths_.pidFile.c_str(), 0600), 0);
    fs::remove(paths_.stateFile);
    ASSERT_EQ(::mkfifo(paths_.stateFile.c_str(), 0600), 0);
    // A FIFO waited on would hang here.
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    EXPECT_EQ(local_service::ReadStateWord(paths_), "");
    EXPECT_FALSE(ctrl_->Start(kLimitMs));
}

TEST_F(LocalBackendTest, AHeldControlLockIsWaitedForWithinTheLimit) {
    ASSERT_TRUE(ctrl_->Install());
    manager_->SetLockLimit(200ms);
    auto holder = std::make_unique<test::LockHolder>(paths_.controlLock);
    ASSERT_TRUE(holder->held());
    ASSERT_EQ(handle_.Open(), service_error::kNone);
    EXPECT_FALSE(handle_.ControlStop());
    EXPECT_EQ(handle_.LastError(), service_error::kIoFailure);
    {  // the shared lock wrapper itself: not taken, and says why
        const ScopedFileLock lock(paths_.controlLock, 50ms);
        EXPECT_FALSE(lock.locked());
        EXPECT_EQ(lock.error(), ETIMEDOUT);
    }
    holder.reset();
    EXPECT_TRUE(ScopedFileLock(paths_.controlLock, 50ms).locked());
}

// The pid file names a live process that does not hold its lock (this test, then a bystander
// while another process holds it): a stale pid reads stopped, and Stop signals only the holder.
TEST_F(LocalBackendTest, StopSignalsTheLockHolderNeverThePidWrittenInTheFile) {
    ASSERT_TRUE(ctrl_->Install());
    std::ofstream(paths_.pidFile) << ::getpid() << "\n";
    std::ofstream(paths_.stateFile) << "running\n";
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    ASSERT_EQ(handle_.Open(), service_error::kNone);
    EXPECT_FALSE(handle_.ControlStop());  // would have sent SIGTERM to this test
    EXPECT_EQ(handle_.LastError(), service_error::kServiceNotActive);
    fs::remove(paths_.pidFile);
    test::LockHolder bystander(temp_ + "/elsewhere.lock");
    test::LockHolder holder(paths_.pidFile, std::to_string(bystander.pid()) + "\n");
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(local_service::LockHolder(paths_), holder.pid());
    EXPECT_TRUE(handle_.ControlStop());
    EXPECT_EQ(holder.Reap(), SIGTERM);
    EXPECT_EQ(::waitpid(bystander.pid(), nullptr, WNOHANG), 0) << "the bystander lives on";
}

// Without a time limit: an exec failure not noticed would wait for ever.
TEST_F(LocalBackendTest, AMissingProgramFailsTheStart) {
    auto ctrl = MakeCtrl(temp_ + "/bin/NoSuchServer -s");
    ASSERT_TRUE(ctrl->Install());
    EXPECT_FALSE(ctrl->Start(kNoTimeLimit));
    EXPECT_EQ(ctrl->QueryStatus(), kServiceStopped);
    // It says why, and the state file does not go on saying "starting".
    EXPECT_EQ(ctrl->LastFailure().kind, ServiceFailure::Kind::kRefused);
    EXPECT_EQ(ctrl->LastFailure().detail,
              "cannot start " + temp_ + "/bin/NoSuchServer: No such file or directory");
    EXPECT_EQ(local_service::ReadStateWord(paths_), "stopped");
}

}  // namespace
