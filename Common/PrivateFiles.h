#pragma once
// Opening files so that another account cannot steer the opener: no link is followed, nothing
// but a regular file is accepted (a FIFO is refused at once instead of hanging the caller), and
// folders are trusted only when they are the caller's own and closed to everyone else.
#include <sys/types.h>

#include <optional>
#include <string>

// open(2) with O_NOFOLLOW | O_CLOEXEC added; refuses (errno ELOOP for a link, ENXIO for
// anything but a regular file) without ever blocking on a FIFO. The descriptor returned is
// blocking again. -1 with errno on failure.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0600);

// The whole content of a regular file of at most `limit` bytes (opened as above).
std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit = 1 << 20);

// Empty when `path` is a folder (not a link), owned by the effective account, with no access
// for group or others; otherwise the reason, in words that name the folder.
std::string CheckPrivateFolder(const std::string& path);
// Makes `path` with mode 0700 when missing (its parent must exist), then checks it as above.
std::string EnsurePrivateFolder(const std::string& path);
