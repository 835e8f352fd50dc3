#include "server/ServiceMode.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "Common/Paths.h"
#include "Common/PrivateFiles.h"
#include "service/LocalServiceFiles.h"
#include "service/ServiceNames.h"

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

}  // namespace

ServiceMode::Kind ServiceMode::Detect(bool serviceFlag) {
    if (!serviceFlag) return Kind::kForeground;
    if (Env("NOTIFY_SOCKET") != nullptr || Env("INVOCATION_ID") != nullptr) return Kind::kSystemd;
    return Kind::kLocal;
}

ServiceMode::~ServiceMode() = default;  // the lock is let go only by the process ending

namespace {

// A descriptor named by `variable` that the launcher left open: -1 when not set, or (with the
// reason in `error`) when it is not an open regular file.
int HandedFd(const char* variable, std::string& error) {
    const char* handed = Env(variable);
    if (handed == nullptr) return -1;
    const int fd = std::atoi(handed);
    struct stat info {};
    if (fd <= STDERR_FILENO || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        error = std::string(variable) + "=" + handed + " is not an open file";
    }
    return fd;
}

// Closes every descriptor above the standard ones but `kept`: nothing else a launcher had open
// (a package manager's terminal, say) stays with a server that may run as another account.
void CloseOthers(std::vector<int> kept) {
    std::erase_if(kept, [](int fd) { return fd <= STDERR_FILENO; });
    kept.push_back(STDERR_FILENO);
    std::sort(kept.begin(), kept.end());
    for (size_t i = 0; i < kept.size(); ++i) {
        const unsigned first = static_cast<unsigned>(kept[i]) + 1;
        const unsigned last = i + 1 < kept.size() ? static_cast<unsigned>(kept[i + 1]) - 1 : ~0U;
        if (first <= last) ::close_range(first, last, 0);
    }
}

}  // namespace

bool ServiceMode::Begin(std::string& error) {
    if (kind_ != Kind::kLocal) return true;
    std::string root;
    if (const char* dir = Env(local_service::kServiceDirVariable)) {
        dir_ = dir;
        root = std::filesystem::path(dir_).parent_path().string();
    } else {
        root = local_service::DefaultRoot();
        dir_ = JoinPath(root, kProxyServiceName);
    }
    // A launching console has checked the folder and holds the lock for us already.
    if (Env(local_service::kLockFdVariable) != nullptr) return TakeHandedFiles(error);
    error = local_service::CheckFolders(root, local_service::Paths(dir_));
    if (!error.empty()) return false;
    const std::string pidFile = dir_ + "/server.pid";
    lockFd_ = OpenRegularFile(pidFile, O_RDWR | O_CREAT);
    if (lockFd_ < 0) {
        error = pidFile + ": cannot be opened as a regular file";
        return false;
    }
    // A console's state poll holds a shared lock for an instant: retry for 2 s.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= end) {
            error = "another server holds " + pidFile;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (::ftruncate(lockFd_, 0) != 0 || ::lseek(lockFd_, 0, SEEK_SET) != 0 ||
        !WriteAll(lockFd_, std::to_string(::getpid()) + "\n")) {
        error = pidFile + ": cannot write the pid";
        return false;
    }
    holdsLock_ = true;
    return OpenFiles(error);
}

bool ServiceMode::TakeHandedFiles(std::string& error) {
    lockFd_ = HandedFd(local_service::kLockFdVariable, error);
    stateFd_ = HandedFd(local_service::kStateFdVariable, error);
    failureFd_ = HandedFd(local_service::kFailureFdVariable, error);
    if (!error.empty()) return false;
    CloseOthers({lockFd_, stateFd_, failureFd_});
    holdsLock_ = true;
    return OpenFiles(error);
}

// The state and failure files not handed over, opened in the folder (the server's own then).
bool ServiceMode::OpenFiles(std::string& error) {
    const local_service::Paths paths(dir_);
    if (stateFd_ < 0) stateFd_ = OpenRegularFile(paths.stateFile, O_WRONLY | O_CREAT);
    if (failureFd_ < 0) {
        failureFd_ = OpenRegularFile(paths.failureFile, O_WRONLY | O_CREAT | O_TRUNC);
    }
    if (stateFd_ < 0 || failureFd_ < 0) {
        error = "cannot open the state files in " + dir_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void ServiceMode::Ready() {
    if (kind_ == Kind::kSystemd) sd_notify(0, "READY=1");
    if (kind_ == Kind::kLocal) WriteState(local_service::kRunning);
}

void ServiceMode::Stopping() {
    if (kind_ == Kind::kSystemd) sd_notify(0, "STOPPING=1");
    if (kind_ == Kind::kLocal) WriteState(local_service::kStopping);
}

void ServiceMode::Failed(const std::string& reason) {
    if (kind_ == Kind::kSystemd) sd_notify(0, ("STATUS=" + reason).c_str());
    // Only into files of a folder Begin checked and locked: nothing goes into an untrusted one.
    if (kind_ != Kind::kLocal || !holdsLock_) return;
    if (failureFd_ < 0 || ::ftruncate(failureFd_, 0) != 0 ||
        ::pwrite(failureFd_, (reason + "\n").data(), reason.size() + 1, 0) !=
            static_cast<ssize_t>(reason.size() + 1)) {
        LOG(ERROR) << "cannot write the failure file in " << dir_;
    }
    WriteState(local_service::kStopped);
}

bool ServiceMode::WriteState(const char* word) {
    if (stateFd_ >= 0 && local_service::WriteStateWord(stateFd_, word)) return true;
    LOG(ERROR) << "cannot write the state file in " << dir_;
    return false;
}
