#include "Common/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace {

// An existing lock file is opened without O_CREAT: in a sticky world-writable directory such as
// /run/lock or /tmp, fs.protected_regular refuses O_CREAT on a file another account created,
// even when its mode lets everybody write. Only a missing file is created (exclusively, so a
// file that another process creates at the same moment is opened on the next round).
int OpenOrCreate(const std::string& path) {
    for (int round = 0; round < 3; ++round) {
        int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock() {
    return Acquire(false);
}

void FileLock::Lock() {
    Acquire(true);
}

void FileLock::Unlock() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

bool FileLock::Acquire(bool wait) {
    if (fd_ >= 0) return true;
    const int fd = OpenOrCreate(path_);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path_);
    // The umask may have narrowed the mode; every account must be able to take the lock.
    struct stat status {};
    if (fstat(fd, &status) == 0 && (status.st_mode & 0777) != 0666 && status.st_uid == geteuid()) {
        fchmod(fd, 0666);
    }
    int result;
    do {
        result = flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) return false;
        throw std::system_error(error, std::generic_category(), "flock " + path_);
    }
    fd_ = fd;
    return true;
}
