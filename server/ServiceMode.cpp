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
#include <thread>

#include "Common/Paths.h"

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// A folder only this account can use, and not a link.
bool PrivateFolder(const std::string& path, std::string& error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        error = path + " is not a private folder of this account";
        return false;
    }
    return true;
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
    if (const char* dir = Env("TORVO_SERVICE_DIR")) {
        dir_ = dir;
    } else {
        const char* root = Env("TORVO_LOCAL_SERVICE_ROOT");
        dir_ = JoinPath(root != nullptr ? root : JoinPath(GetModuleDirectory(), "services"),
                        "TorvoProxyServer");
    }
    // A launching console has checked the folder and holds the lock for us already.
    if (const char* handed = Env("TORVO_SERVICE_LOCK_FD")) {
        lockFd_ = std::atoi(handed);
        if (::fcntl(lockFd_, F_SETFD, FD_CLOEXEC) != 0) {
            error = "the lock descriptor " + std::string(handed) + " is not open";
            return false;
        }
        return true;
    }
    if (!PrivateFolder(dir_, error)) return false;
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

bool ServiceMode::WriteState(const char* word) {
    const std::string path = dir_ + "/state";
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        LOG(ERROR) << "cannot write " << temporary << ": " << std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, std::string(word) + "\n");
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        LOG(ERROR) << "cannot replace " << path;
        return false;
    }
    return true;
}
