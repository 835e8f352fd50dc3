#pragma once
// One console per user session: an exclusive lock on the file TORVOPROXY_ONEINSTANCE_MUTEX in
// the user's own runtime folder, held for the life of the process.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class FileLock;

inline constexpr char kOneInstanceLockName[] = "TORVOPROXY_ONEINSTANCE_MUTEX";

// The folder of the lock: $XDG_RUNTIME_DIR when set, else <fallbackParent>/torvoproxy-<uid>
// (made 0700 when missing). Either is checked with lstat: a folder, not a link, this
// account's, closed to others. `problem` receives the reason when it is refused.
struct OneInstanceFolder {
    std::string path;
    std::string problem;  // empty: usable
};
OneInstanceFolder FindOneInstanceFolder(const std::string& fallbackParent = "/tmp");

class SingleInstanceLock {
public:
    // The lock file in the folder found above.
    SingleInstanceLock();
    // The lock file `path` (its folder is the caller's business).
    explicit SingleInstanceLock(std::string path);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Unavailable, Refused };
    // One look at the lock. Unavailable: the lock file cannot be made (the caller goes on as
    // the only instance). Refused: the folder or the file in it is not safe to use (a link, a
    // FIFO, another account's or open to others); Problem() says why.
    Result TryAcquire();
    const std::string& Problem() const { return problem_; }

    // For a restarted console: keeps trying in the background until the old console has let
    // the lock go, then holds it. Stops with the object.
    void TakeOverWhenFree(std::chrono::milliseconds poll = std::chrono::milliseconds(100));

    bool Held() const { return held_.load(); }

private:
    std::unique_ptr<FileLock> lock_;
    std::string problem_;
    std::atomic<bool> held_{false};
    std::mutex mutex_;  // guards lock_ between the taker thread and TryAcquire
    std::condition_variable_any wake_;
    std::jthread taker_;
};
