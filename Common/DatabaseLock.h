#pragma once

#include <mutex>
#include <string>

#include "Common/FileLock.h"

// Name of the lock that serialises all work on main.db across the console's threads and every
// other process (the server included).
inline constexpr char kDatabaseLockName[] = "TPS_SQLITE_MUTEXT_NAME";
inline constexpr char kLockDirectoryVariable[] = "TORVO_LOCK_DIR";

// Directory of the lock file: $TORVO_LOCK_DIR when set (tests isolate themselves with it), else
// /run/lock when this account may write there, else /tmp. Console and server run on one
// machine, possibly under different accounts, and both directories are open to all of them.
std::string DatabaseLockDirectory();

// The database lock: an exclusive flock on <directory>/TPS_SQLITE_MUTEXT_NAME, plus an
// in-process recursive mutex so that the holding thread may take it again without blocking.
// Waits without limit. Meets BasicLockable (std::lock_guard, std::unique_lock).
class DatabaseLock {
public:
    explicit DatabaseLock(std::string lockFilePath);
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Throws std::system_error when the lock file cannot be opened or created.
    void lock();
    void unlock();

    const std::string& path() const { return fileLock_.path(); }

private:
    std::recursive_mutex threadMutex_;
    FileLock fileLock_;
    int depth_ = 0;  // holds of the owning thread; touched only under threadMutex_
};
