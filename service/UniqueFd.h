#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

// Owns one file descriptor and closes it when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Opens a file close-on-exec at a descriptor number of at least 10, clear of the standard
// streams even when the process was started without them.
inline UniqueFd OpenHighFd(const std::string& path, int flags, mode_t mode = 0644) {
    UniqueFd low(::open(path.c_str(), flags | O_CLOEXEC, mode));
    if (!low.valid()) return low;
    return UniqueFd(::fcntl(low.get(), F_DUPFD_CLOEXEC, 10));
}

// Holds an exclusive flock on a file (created when missing) until it goes out of scope.
class ScopedFileLock {
public:
    explicit ScopedFileLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_.valid()) {
            while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    bool locked() const { return fd_.valid(); }

private:
    UniqueFd fd_;  // closing the descriptor releases the lock
};
