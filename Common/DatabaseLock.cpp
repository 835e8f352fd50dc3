#include "Common/DatabaseLock.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

std::string DatabaseLockDirectory() {
    const char* chosen = std::getenv(kLockDirectoryVariable);
    if (chosen != nullptr && *chosen != '\0') return chosen;
    if (access("/run/lock", W_OK | X_OK) == 0) return "/run/lock";
    return "/tmp";
}

DatabaseLock::DatabaseLock(std::string lockFilePath) : fileLock_(std::move(lockFilePath)) {}

void DatabaseLock::lock() {
    threadMutex_.lock();
    if (depth_ == 0) {
        try {
            fileLock_.Lock();
        } catch (...) {
            threadMutex_.unlock();
            throw;
        }
    }
    ++depth_;
}

void DatabaseLock::unlock() {
    if (--depth_ == 0) fileLock_.Unlock();
    threadMutex_.unlock();
}
