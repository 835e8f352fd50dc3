#include "Common/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

#include "Common/PrivateFiles.h"

namespace {

[[noreturn]] void Throw(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Opens the existing file, or creates it exclusively when missing (a file that another process
// creates at the same moment is opened on the next round).
int OpenOrCreate(const std::string& path, const FileLock::NewFile& newFile) {
    for (int round = 0; round < 3; ++round) {
        int fd = OpenRegularFile(path, O_RDONLY);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = OpenRegularFile(path, O_RDONLY | O_CREAT | O_EXCL, newFile.mode);
        if (fd >= 0) {
            // Only the file just made here: the umask must not narrow the mode it was asked for.
            if (fchmod(fd, newFile.mode) != 0 || ((newFile.owner != static_cast<uid_t>(-1) ||
                                                   newFile.group != static_cast<gid_t>(-1)) &&
                                                  fchown(fd, newFile.owner, newFile.group) != 0)) {
                const int error = errno;
                close(fd);
                unlink(path.c_str());
                errno = error;
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::FileLock(std::string path, NewFile newFile) : path_(std::move(path)), newFile_(newFile) {}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock() {
    if (fd_ >= 0) return true;
    const int fd = OpenOrCreate(path_, newFile_);
    if (fd < 0) Throw(errno, "open " + path_);
    int result;
    while ((result = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) return false;
        Throw(error, "flock " + path_);
    }
    fd_ = fd;
    return true;
}

bool FileLock::LockFor(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::milliseconds(1);
    while (!TryLock()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return true;
}

void FileLock::Unlock() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}
