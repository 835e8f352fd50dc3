#include "server/ServiceMode.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Common/Paths.h"
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
    if (const char* handed = Env(local_service::kLockFdVariable)) {
        lockFd_ = std::atoi(handed);
        if (::fcntl(lockFd_, F_SETFD, FD_CLOEXEC) != 0) {
            error = "the lock descriptor " + std::string(handed) + " is not open";
            return false;
        }
        holdsLock_ = true;
        return true;
    }
    error = local_service::CheckFolders(root, local_service::Paths(dir_));
    if (!error.empty()) return false;
    const std::string pidFile = dir_ + "/server.pid";
    lockFd_ = ::open(pidFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info {};
    if (lockFd_ < 0 || ::fstat(lockFd_, &info) != 0 || !S_ISREG(info.st_mode)) {
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
    return true;
}

void ServiceMode::Ready() {
    if (kind_ == Kind::kSystemd) sd_notify(0, "READY=1");
    if (kind_ == Kind::kLocal) WriteState("running");
}

void ServiceMode::Stopping() {
    if (kind_ == Kind::kSystemd) sd_notify(0, "STOPPING=1");
    if (kind_ == Kind::kLocal) WriteState("stopping");
}

void ServiceMode::Failed(const std::string& reason) {
    if (kind_ == Kind::kSystemd) sd_notify(0, ("STATUS=" + reason).c_str());
    // Only into a folder Begin checked and locked: nothing is written into an untrusted one.
    if (kind_ != Kind::kLocal || !holdsLock_) return;
    const std::string path = dir_ + "/failure";
    if (!local_service::WriteFileAtomically(path, reason + "\n")) {
        LOG(ERROR) << "cannot replace " << path;
    }
    WriteState(local_service::kStopped);
}

bool ServiceMode::WriteState(const char* word) {
    const std::string path = dir_ + "/state";
    if (local_service::WriteFileAtomically(path, std::string(word) + "\n")) return true;
    LOG(ERROR) << "cannot replace " << path;
    return false;
}
