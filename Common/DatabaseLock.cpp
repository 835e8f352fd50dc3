#include "Common/DatabaseLock.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "Common/Paths.h"

namespace {

std::atomic<std::chrono::milliseconds::rep> waitLimitMs{60000};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The lock file takes the database's mode (read and write bits only) and owner, so exactly the
// accounts that may open the database may take its lock.
FileLock::NewFile LikeTheDatabase(const std::string& databasePath) {
    FileLock::NewFile newFile;
    struct stat status {};
    if (::stat(databasePath.c_str(), &status) == 0) {
        newFile.mode = status.st_mode & 0666;
        if (::geteuid() == 0) {
            newFile.owner = status.st_uid;
            newFile.group = status.st_gid;
        }
    }
    return newFile;
}

}  // namespace

std::string DatabaseLockPathFor(const std::string& databasePath) {
    return JoinPath(FolderOf(databasePath), kDatabaseLockName);
}

std::chrono::milliseconds DatabaseLock::WaitLimit() {
    return std::chrono::milliseconds(waitLimitMs.load());
}

void DatabaseLock::SetWaitLimit(std::chrono::milliseconds limit) {
    waitLimitMs.store(limit.count());
}

void DatabaseLock::lock() {
    lock(GetMainDbPath());
}

void DatabaseLock::lock(const std::string& databasePath) {
    lock(databasePath, WaitLimit());
}

void DatabaseLock::lock(const std::string& databasePath, std::chrono::milliseconds limit) {
    if (!threadMutex_.try_lock_for(limit)) {
        throw std::system_error(ETIMEDOUT, std::generic_category(),
                                "database lock held by another thread");
    }
    if (depth_ == 0) {
        try {
            fileLock_.SetPath(DatabaseLockPathFor(databasePath));
            fileLock_.SetNewFile(LikeTheDatabase(databasePath));
            if (!fileLock_.LockFor(limit)) {
                throw std::system_error(
                    ETIMEDOUT, std::generic_category(),
                    "held by another process for " + std::to_string(limit.count() / 1000) + " s");
            }
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

std::string DatabaseLock::path() const {
    return DatabaseLockPathFor(GetMainDbPath());
}
