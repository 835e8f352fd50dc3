#include "Common/ExportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

ExportFile::~ExportFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool ExportFile::Fail(const std::string& what) {
    error_ = what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return false;
}

bool ExportFile::Open(const std::string& path) {
    errno = 0;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    struct stat folderStat {};
    if (::stat(folder.c_str(), &folderStat) != 0) return Fail("cannot read the folder " + folder);
    const bool othersWrite =
        (folderStat.st_mode & S_IWOTH) != 0 ||
        ((folderStat.st_mode & S_IWGRP) != 0 && folderStat.st_gid != getegid());
    if (othersWrite) {
        errno = 0;
        return Fail("other accounts may write to the folder " + folder);
    }
    // No blocking on a FIFO; no following a link planted at the name.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                 0600);
    if (fd_ < 0) return Fail("cannot create " + path);
    struct stat fileStat {};
    if (::fstat(fd_, &fileStat) != 0 || !S_ISREG(fileStat.st_mode)) {
        errno = 0;
        return Fail(path + " is not a regular file");
    }
    return true;
}

bool ExportFile::Write(std::string_view bytes) {
    if (fd_ < 0) return false;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Fail("cannot write");
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool ExportFile::Close() {
    if (fd_ < 0) return false;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail("cannot close");
    return true;
}
