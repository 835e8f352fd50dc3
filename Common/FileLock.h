#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// An exclusive flock on a named regular file. The file is opened read-only (enough for flock)
// with O_NOFOLLOW: a link planted at the path, or a FIFO, is refused and never followed or
// waited on. A missing file is created with O_EXCL, with the mode (and, for root, the owner)
// given; an existing file is never changed. The kernel drops the lock when the holding process
// dies. Each hold opens the file anew, so two FileLock objects on one path exclude each other
// even inside one process, and a child made by fork does not share the parent's hold. Not
// re-entrant; the destructor releases.
class FileLock {
public:
    struct NewFile {
        mode_t mode = 0600;
        uid_t owner = static_cast<uid_t>(-1);  // -1: the creator's
        gid_t group = static_cast<gid_t>(-1);
    };

    explicit FileLock(std::string path);  // a new file is 0600, the creator's
    FileLock(std::string path, NewFile newFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock if nobody holds it; false when another holder has it. Throws
    // std::system_error when the file cannot be opened or created (ELOOP: a link; ENXIO: not a
    // regular file).
    bool TryLock();
    // Waits at most `limit` (polling); false when the lock stayed held. Throws as TryLock.
    bool LockFor(std::chrono::milliseconds limit);
    // Releases the lock if held.
    void Unlock();

    bool IsLocked() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }  // for the next hold
    void SetNewFile(const NewFile& newFile) { newFile_ = newFile; }

private:
    std::string path_;
    NewFile newFile_;
    int fd_ = -1;  // open only while the lock is held
};
