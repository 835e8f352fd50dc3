#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <utility>

#include "Common/FileLock.h"

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

// The same open file at a close-on-exec descriptor number of at least 10, clear of the
// standard streams even when the process was started without them.
inline UniqueFd MoveHigh(UniqueFd low) {
    if (!low.valid()) return low;
    return UniqueFd(::fcntl(low.get(), F_DUPFD_CLOEXEC, 10));
}

inline UniqueFd OpenHighFd(const std::string& path, int flags, mode_t mode = 0600) {
    return MoveHigh(UniqueFd(::open(path.c_str(), flags | O_CLOEXEC, mode)));
}

// Holds the exclusive lock on a file (FileLock: made 0600 when missing, no link followed) until
// it goes out of scope, waiting at most `limit` for it. Not locked: error() says why
// (ETIMEDOUT when another holder kept it).
class ScopedFileLock {
public:
    ScopedFileLock(const std::string& path, std::chrono::milliseconds limit) : lock_(path) {
        try {
            if (!lock_.LockFor(limit)) error_ = ETIMEDOUT;
        } catch (const std::system_error& failure) {
            error_ = failure.code().value();
        }
    }
    bool locked() const { return lock_.IsLocked(); }
    int error() const { return error_; }

private:
    FileLock lock_;
    int error_ = 0;
};
