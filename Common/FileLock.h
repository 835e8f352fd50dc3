#pragma once

#include <string>

// An exclusive flock on a named file, shared by every process (of any account) that locks the
// same path: the file is created with mode 0666. The kernel drops the lock when the holding
// process dies, so a killed holder never blocks the next taker. Each hold opens the file anew,
// so two FileLock objects on one path exclude each other even inside one process, and a child
// made by fork does not share the parent's hold. Not re-entrant; the destructor releases.
class FileLock {
public:
    explicit FileLock(std::string path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock if nobody holds it; false when another holder has it. Throws
    // std::system_error when the file cannot be opened or created.
    bool TryLock();
    // Waits without limit. Throws std::system_error when the file cannot be opened or created.
    void Lock();
    // Releases the lock if held.
    void Unlock();

    bool IsLocked() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

private:
    bool Acquire(bool wait);

    std::string path_;
    int fd_ = -1;  // open only while the lock is held
};
