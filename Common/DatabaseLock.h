#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "Common/FileLock.h"

// Name of the lock that serialises all work on main.db across the console's threads and every
// other process (the server included).
inline constexpr char kDatabaseLockName[] = "TPS_SQLITE_MUTEXT_NAME";

// The lock file of a database: TPS_SQLITE_MUTEXT_NAME in the database's own folder, so every
// process that may open that database takes the same lock, whatever its account, and nobody
// who may not open it can hold it.
std::string DatabaseLockPathFor(const std::string& databasePath);

// The database lock: an exclusive flock on the lock file beside the database, plus an
// in-process recursive mutex so that the holding thread may take it again without blocking.
// A missing lock file is made with the database's mode and owner (0600 without a database).
// Waits at most WaitLimit() for either; meets BasicLockable (std::lock_guard,
// std::unique_lock) for main.db beside the executable.
class DatabaseLock {
public:
    DatabaseLock() = default;
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Takes the lock for main.db, or for the database at `databasePath`; a nested hold keeps
    // the file of the outer one. Throws std::system_error: the lock file cannot be opened or
    // made (a link or a FIFO in its place is refused), or the lock stayed held by another
    // process or thread for WaitLimit() (ETIMEDOUT).
    void lock();
    void lock(const std::string& databasePath);
    // The same, waiting at most `limit` instead of WaitLimit().
    void lock(const std::string& databasePath, std::chrono::milliseconds limit);
    void unlock();

    // The lock file of main.db.
    std::string path() const;

    static std::chrono::milliseconds WaitLimit();
    static void SetWaitLimit(std::chrono::milliseconds limit);  // 60 s unless a test shortens it

private:
    std::recursive_timed_mutex threadMutex_;
    FileLock fileLock_{std::string()};
    int depth_ = 0;  // holds of the owning thread; touched only under threadMutex_
};
