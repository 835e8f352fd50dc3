// The local service backend for real, with the stand-in server process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

// A line of /proc/<pid>/status, e.g. StatusLine(pid, "Uid") = "0\t0\t0\t0".
std::string StatusLine(pid_t pid, const std::string& name) {
    std::istringstream lines(test::ReadText("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + ":\t", 0) == 0) return line.substr(name.size() + 2);
    }
    return {};
}

// A child that holds the exclusive lock of `path` on a descriptor whose lock a grandchild took
// and then ended: /proc/locks names the grandchild, long gone.
class HandedOnLock {
public:
    explicit HandedOnLock(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
            if (!test::DieWithParent(parent) || fd < 0) ::_exit(1);
            const pid_t taker = ::fork();
            if (taker == 0) ::_exit(::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
            int status = 0;
            if (::waitpid(taker, &status, 0) != taker || status != 0) ::_exit(1);
            (void)!::write(ready[1], "x", 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char byte;
        held_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~HandedOnLock() {
        if (pid_ > 0) ::kill(pid_, SIGKILL), Reap();
    }
    bool held() const { return held_; }
    pid_t pid() const { return pid_; }
    int Reap() {  // the signal that ended it
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

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
    // A main.db beside the server that belongs to `account` (and `group`), who can reach the
    // program.
    std::string GiveMainDbTo(uid_t account, gid_t group) {
        ::chmod(temp_.c_str(), 0755);
        ::chmod((temp_ + "/bin").c_str(), 0755);
        const std::string database = temp_ + "/bin/main.db";
        std::ofstream(database).close();
        ::chmod(database.c_str(), 0600);
        EXPECT_EQ(::chown(database.c_str(), account, group), 0);
        return database;
    }
    // The package's script on this service: its exit status.
    int LocalService(const std::string& action) {
        const std::string command = std::string(TORVO_LOCAL_SERVICE_SCRIPT) + " " + action + " " +
                                    paths_.dir + " " + temp_ + "/bin/TorvoProxyServer >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

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

// The one who took the lock handed its descriptor on and ended (a shell's flock before it
// becomes the server; a server that forked): the process that holds it now is the one found
// and signalled, never the ended taker's number, which anyone may get next.
TEST_F(LocalBackendTest, TheLockIsFoundWithWhoeverHoldsItsDescriptor) {
    ASSERT_TRUE(ctrl_->Install());
    HandedOnLock holder(paths_.pidFile);
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStartPending);
    EXPECT_EQ(local_service::LockHolder(paths_), holder.pid());
    ASSERT_EQ(handle_.Open(), service_error::kNone);
    EXPECT_TRUE(handle_.ControlStop());
    EXPECT_EQ(holder.Reap(), SIGTERM);
}

// The state file keeps its inode: a word written through a descriptor opened before the
// console's own writes is what everyone reads, in whatever order the writes came.
TEST_F(LocalBackendTest, TheStateIsRewrittenInPlace) {
    ASSERT_TRUE(ctrl_->Install());
    ASSERT_TRUE(local_service::WriteStateWord(paths_, local_service::kStarting));
    const UniqueFd server(::open(paths_.stateFile.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(local_service::WriteStateWord(paths_, local_service::kStopping));
    ASSERT_TRUE(local_service::WriteStateWord(server.get(), local_service::kRunning));
    EXPECT_EQ(local_service::ReadStateWord(paths_), "running");
    EXPECT_EQ(test::ReadText(paths_.stateFile), "running \n");
    // A longer file left by an older writer is cut to the word.
    std::ofstream(paths_.stateFile) << "stopping\nand more\n";
    ASSERT_TRUE(local_service::WriteStateWord(server.get(), local_service::kStopped));
    EXPECT_EQ(test::ReadText(paths_.stateFile), "stopped \n");
}

// Under root, with main.db beside the server belonging to an account of its own, the server
// runs as that account (with its own group) for good, keeping only the capability to bind ports
// below 1024; it cannot open the service's files (root's, closed), and reports through the ones it
// was handed. The journal and lock the server cannot make are made for it, the account's, 0600,
// before the start and while it runs.
TEST_F(LocalBackendTest, UnderRootTheServerRunsAsTheAccountOfMainDb) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    if (!test::OthersPassAbove(temp_)) GTEST_SKIP() << "another account cannot reach " << temp_;
    constexpr uid_t kAccount = 65534;
    const std::string database = GiveMainDbTo(kAccount, 0);  // root's group: not the server's

    ASSERT_TRUE(ctrl_->Install());
    ASSERT_TRUE(ctrl_->Start(kLimitMs)) << ctrl_->LastFailure().detail;
    const pid_t server = Pid();
    ASSERT_GT(server, 0);
    EXPECT_EQ(StatusLine(server, "Uid"), "65534\t65534\t65534\t65534");
    EXPECT_EQ(StatusLine(server, "Gid"), "65534\t65534\t65534\t65534");
    EXPECT_EQ(StatusLine(server, "Groups"), "65534 ");
    for (const char* set : {"CapPrm", "CapEff", "CapBnd", "CapAmb"})
        EXPECT_EQ(StatusLine(server, set), "0000000000000400") << set;  // CAP_NET_BIND_SERVICE
    EXPECT_EQ(StatusLine(server, "NoNewPrivs"), "1");
    struct stat info {};
    for (const std::string& folder : {temp_ + "/services", paths_.dir}) {
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 0u) << folder;
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder;
    }
    for (const std::string* file : {&paths_.stateFile, &paths_.failureFile, &paths_.pidFile}) {
        ASSERT_EQ(::lstat(file->c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 0u) << *file;
    }
    for (const char* name : {"/bin/main.db-journal", "/bin/TPS_SQLITE_MUTEXT_NAME"}) {
        ASSERT_EQ(::lstat((temp_ + name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_uid, kAccount) << name;
        EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
    }
    // A journal deleted under the running server is back, the account's, at the next poll.
    ASSERT_EQ(::unlink((temp_ + "/bin/main.db-journal").c_str()), 0);
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceRunning);
    ASSERT_EQ(::lstat((temp_ + "/bin/main.db-journal").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kAccount);
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));

    // main.db root's again (a developer's install): the server runs as the console's account.
    ASSERT_EQ(::chown(database.c_str(), 0, 0), 0);
    ASSERT_TRUE(ctrl_->Start(kLimitMs));
    EXPECT_EQ(StatusLine(Pid(), "Uid"), "0\t0\t0\t0");
    ASSERT_TRUE(ctrl_->Stop(kLimitMs));
}

// The package's restart on an upgrade: its script stops the server the console started (the
// proxy port kept) and starts it as the console would (as main.db's account under root); the
// console reads and stops that server as its own.
TEST_F(LocalBackendTest, ThePackagesScriptRestartsTheServerTheConsoleStarted) {
    const bool asAccount = ::geteuid() == 0 && test::OthersPassAbove(temp_);
    if (asAccount) GiveMainDbTo(65534, 65534);
    ASSERT_TRUE(ctrl_->Install());
    {
        const test::ScopedEnv port("TORVO_LISTEN_PORT", "28123");
        ASSERT_TRUE(ctrl_->Start(kLimitMs));
    }
    const pid_t first = Pid();
    EXPECT_EQ(LocalService("stop"), 0);
    EXPECT_TRUE(EndsSoon(first));
    EXPECT_EQ(ctrl_->QueryStatus(), kServiceStopped);
    EXPECT_EQ(LocalService("stop"), 1) << "none runs";
    EXPECT_EQ(LocalService("start"), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return ctrl_->QueryStatus() == kServiceRunning; }));
    const pid_t second = Pid();
    EXPECT_EQ(local_service::RecordedPid(paths_), second);
    const std::string environment = test::ReadText("/proc/" + std::to_string(second) + "/environ");
    EXPECT_NE(environment.find(std::string("TORVO_LISTEN_PORT=28123") + '\0'), std::string::npos);
    if (asAccount) {
        EXPECT_EQ(StatusLine(second, "Uid"), "65534\t65534\t65534\t65534");
    }
    EXPECT_TRUE(ctrl_->Stop(kLimitMs));
    EXPECT_TRUE(EndsSoon(second));
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
