#include "ui/SingleInstance.h"

#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "Common/FileLock.h"

std::string OneInstanceLockDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return runtime;
    std::string dir = "/tmp/torvoproxy-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        PLOG(WARNING) << "cannot make " << dir;
    }
    return dir;
}

std::string OneInstanceLockPath() {
    return OneInstanceLockDirectory() + "/" + kOneInstanceLockName;
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
    try {
        if (!lock_->TryLock()) return Result::HeldElsewhere;
    } catch (const std::system_error& e) {
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
