#pragma once
// One console per user session: an exclusive lock on the file TORVOPROXY_ONEINSTANCE_MUTEX in
// the user's runtime directory, held for the life of the process.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class FileLock;

inline constexpr char kOneInstanceLockName[] = "TORVOPROXY_ONEINSTANCE_MUTEX";

// $XDG_RUNTIME_DIR when set, else /tmp/torvoproxy-<uid> (made on demand, mode 0700).
std::string OneInstanceLockDirectory();
std::string OneInstanceLockPath();

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(std::string path = OneInstanceLockPath());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Unavailable };
    // One look at the lock. Unavailable: the lock file cannot be made (the caller goes on as
    // the only instance).
    Result TryAcquire();

    // For a restarted console: keeps trying in the background until the old console has let
    // the lock go, then holds it. Stops with the object.
    void TakeOverWhenFree(std::chrono::milliseconds poll = std::chrono::milliseconds(100));

    bool Held() const { return held_.load(); }

private:
    std::unique_ptr<FileLock> lock_;
    std::atomic<bool> held_{false};
    std::mutex mutex_;  // guards lock_ between the taker thread and TryAcquire
    std::condition_variable_any wake_;
    std::jthread taker_;
};
