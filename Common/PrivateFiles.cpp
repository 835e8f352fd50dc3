#include "Common/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISREG(status.st_mode) ? errno : ENXIO;
        ::close(fd);
        errno = error;
        return -1;
    }
    if ((flags & O_NONBLOCK) == 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit) {
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || content.size() + static_cast<size_t>(n) > limit) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

std::string CheckPrivateFolder(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return path + ": " + std::strerror(errno);
    if (S_ISLNK(status.st_mode)) return path + " is a symbolic link";
    if (!S_ISDIR(status.st_mode)) return path + " is not a folder";
    if (status.st_uid != ::geteuid()) {
        return path + " belongs to another account (uid " + std::to_string(status.st_uid) + ")";
    }
    if ((status.st_mode & 077) != 0) return path + " is open to other accounts (mode must be 0700)";
    return {};
}

std::string EnsurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot make " + path + ": " + std::strerror(errno);
    }
    return CheckPrivateFolder(path);
}
