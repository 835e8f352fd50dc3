#include "ui/SingleInstance.h"

#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "Common/FileLock.h"
#include "Common/Paths.h"
#include "Common/PrivateFiles.h"

OneInstanceFolder FindOneInstanceFolder(const std::string& fallbackParent) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return {runtime, CheckPrivateFolder(runtime)};
    // In a shared folder such as /tmp another account may have made the name first: it is
    // used only when it is ours and closed.
    std::string path = JoinPath(fallbackParent, "torvoproxy-" + std::to_string(geteuid()));
    std::string problem = EnsurePrivateFolder(path);
    return {std::move(path), std::move(problem)};
}

SingleInstanceLock::SingleInstanceLock() {
    const OneInstanceFolder folder = FindOneInstanceFolder();
    problem_ = folder.problem;
    lock_ = std::make_unique<FileLock>(JoinPath(folder.path, kOneInstanceLockName));
}

SingleInstanceLock::SingleInstanceLock(std::string path)
    : lock_(std::make_unique<FileLock>(std::move(path))) {}

SingleInstanceLock::~SingleInstanceLock() {
    if (taker_.joinable()) {
        taker_.request_stop();
        wake_.notify_all();
        taker_.join();
    }
}

SingleInstanceLock::Result SingleInstanceLock::TryAcquire() {
    std::lock_guard guard(mutex_);
    if (held_) return Result::Acquired;
    if (!problem_.empty()) return Result::Refused;
    try {
        if (!lock_->TryLock()) return Result::HeldElsewhere;
    } catch (const std::system_error& e) {
        const int error = e.code().value();
        if (error == ELOOP || error == ENXIO) {  // a link or a FIFO planted in its place
            problem_ = lock_->path() + " is not a regular file";
            return Result::Refused;
        }
        LOG(WARNING) << "single-instance lock " << lock_->path() << " unavailable: " << e.what();
        return Result::Unavailable;
    }
    held_ = true;
    return Result::Acquired;
}

void SingleInstanceLock::TakeOverWhenFree(std::chrono::milliseconds poll) {
    if (held_ || taker_.joinable()) return;
    taker_ = std::jthread([this, poll](std::stop_token stop) {
        std::unique_lock guard(mutex_);
        while (!stop.stop_requested()) {
            try {
                if (lock_->TryLock()) {
                    held_ = true;
                    return;
                }
            } catch (const std::system_error&) {
                return;  // the file went away: nothing left to take over
            }
            wake_.wait_for(guard, stop, poll, [] { return false; });
        }
    });
}
