#include "service/LocalServiceFiles.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "Common/Paths.h"
#include "Common/PrivateFiles.h"
#include "Common/Text.h"
#include "service/ServiceManager.h"
#include "service/ServiceNames.h"
#include "service/UniqueFd.h"

namespace local_service {

namespace {
std::string Trimmed(std::string_view text) {
    return std::string(Trim(text));
}
}  // namespace

Paths::Paths(const std::string& serviceDir)
    : dir(serviceDir),
      registration(serviceDir + "/service.conf"),
      pidFile(serviceDir + "/server.pid"),
      stateFile(serviceDir + "/state"),
      logFile(serviceDir + "/server.log"),
      controlLock(serviceDir + "/control.lock"),
      failureFile(serviceDir + "/failure") {}

std::string DefaultRoot() {
    if (const char* root = std::getenv(kRootVariable); root && *root) return root;
    const std::string dir = GetModuleDirectory();
    return JoinPath(dir.empty() ? "." : dir, "services");
}

std::string CheckFolders(const std::string& root, const Paths& paths, bool make) {
    if (!make) {
        std::string problem = CheckPrivateFolder(root);
        return problem.empty() ? CheckPrivateFolder(paths.dir) : problem;
    }
    std::error_code ignored;  // a parent that cannot be made shows in the check below
    std::filesystem::create_directories(std::filesystem::path(root).parent_path(), ignored);
    std::string problem = EnsurePrivateFolder(root);
    return problem.empty() ? EnsurePrivateFolder(paths.dir) : problem;
}

std::optional<Registration> ReadRegistration(const std::string& path) {
    const auto content = ReadRegularFile(path);
    if (!content) return std::nullopt;
    Registration registration;
    std::istringstream lines(*content);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        registration[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
    }
    return registration;
}

bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    {
        constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL;
        UniqueFd fd(OpenRegularFile(temporary, kFlags));
        if (!fd.valid() && errno == EEXIST && ::unlink(temporary.c_str()) == 0) {
            fd = UniqueFd(OpenRegularFile(temporary, kFlags));  // left by a dead namesake
        }
        if (!fd.valid()) return false;
        if (::fchmod(fd.get(), mode) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::unlink(temporary.c_str());
                return false;
            }
            done += static_cast<size_t>(n);
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool WriteRegistration(const std::string& path, const Registration& registration) {
    std::string content;
    for (const auto& [key, value] : registration) content += key + "=" + value + "\n";
    return WriteFileAtomically(path, content);
}

bool ServerAlive(const Paths& paths) {
    UniqueFd fd(OpenRegularFile(paths.pidFile, O_RDONLY));
    if (!fd.valid()) return false;
    // A shared lock is refused only while the server holds its exclusive one; the probe's
    // own lock goes with the descriptor.
    int result;
    while ((result = ::flock(fd.get(), LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    return result != 0 && errno == EWOULDBLOCK;
}

std::optional<pid_t> RecordedPid(const Paths& paths) {
    const auto content = ReadRegularFile(paths.pidFile, 64);
    if (!content) return std::nullopt;
    const std::string text = Trimmed(*content);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return std::nullopt;
    }
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid <= 1) return std::nullopt;
    return static_cast<pid_t>(pid);
}

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether one of `pid`'s descriptors is `file` open with an exclusive flock on it (the lock
// shows in that descriptor's fdinfo).
bool HoldsLockOn(pid_t pid, const struct stat& file) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base + "/fd", error)) {
        struct stat target {};
        if (::stat(entry.path().c_str(), &target) != 0 || !SameFile(target, file)) continue;
        std::ifstream info(base + "/fdinfo/" + entry.path().filename().string());
        for (std::string line; std::getline(info, line);) {
            if (line.rfind("lock:", 0) == 0 && line.find(" FLOCK ") != std::string::npos &&
                line.find(" WRITE ") != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

// The pid /proc/locks gives for the exclusive lock on `file`.
std::optional<pid_t> LockTaker(const struct stat& file) {
    // Lines such as "3: FLOCK  ADVISORY  WRITE 4711 08:01:123456 0 EOF"; waiters ("->") hold
    // nothing.
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, kind, advisory, access, device;
        long pid = 0;
        if (!(fields >> id >> kind) || kind == "->" || kind != "FLOCK") continue;
        if (!(fields >> advisory >> access >> pid >> device) || access != "WRITE" || pid <= 0) {
            continue;
        }
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(device.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (major == major(file.st_dev) && minor == minor(file.st_dev) && inode == file.st_ino) {
            return static_cast<pid_t>(pid);
        }
    }
    return std::nullopt;
}

std::optional<struct stat> PidFileIdentity(const Paths& paths) {
    struct stat file {};
    UniqueFd fd(OpenRegularFile(paths.pidFile, O_RDONLY));
    if (!fd.valid() || ::fstat(fd.get(), &file) != 0) return std::nullopt;
    return file;
}

}  // namespace

std::optional<pid_t> LockHolder(const Paths& paths) {
    const auto file = PidFileIdentity(paths);
    if (!file) return std::nullopt;
    const auto taker = LockTaker(*file);
    if (!taker) return std::nullopt;
    // Usually the taker holds it still; else whoever it handed the descriptor to.
    if (HoldsLockOn(*taker, *file)) return taker;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid != ::getpid() && HoldsLockOn(pid, *file)) return pid;
    }
    return std::nullopt;
}

int SignalLockHolder(const Paths& paths, int signal) {
    const auto holder = LockHolder(paths);
    if (!holder) return ESRCH;
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, *holder, 0)));
    if (!pidfd.valid()) return errno;
    // The pidfd pins this very process: if the process of that number holds the lock now, it
    // is the one the pidfd names, and the server.
    const auto file = PidFileIdentity(paths);
    if (!file || !HoldsLockOn(*holder, *file)) return ESRCH;
    if (::syscall(SYS_pidfd_send_signal, pidfd.get(), signal, nullptr, 0) != 0) return errno;
    return 0;
}

namespace {
constexpr size_t kStateWidth = 8;  // the longest word; each is written blank-padded to it
}

bool WriteStateWord(int fd, const char* word) {
    std::string record(word);
    if (record.size() < kStateWidth) record.resize(kStateWidth, ' ');
    record += '\n';
    ssize_t written;
    while ((written = ::pwrite(fd, record.data(), record.size(), 0)) < 0 && errno == EINTR) {
    }
    return written == static_cast<ssize_t>(record.size()) &&
           ::ftruncate(fd, static_cast<off_t>(record.size())) == 0;
}

bool WriteStateWord(const Paths& paths, const char* word) {
    UniqueFd fd(OpenRegularFile(paths.stateFile, O_WRONLY | O_CREAT));
    return fd.valid() && WriteStateWord(fd.get(), word);
}

std::string ReadStateWord(const Paths& paths) {
    std::string word;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto content = ReadRegularFile(paths.stateFile, 64);
        word = content ? Trimmed(content->substr(0, content->find('\n'))) : std::string();
        if (word.empty() || word == kStarting || word == kRunning || word == kStopping ||
            word == kStopped) {
            break;
        }
    }
    return word;
}

namespace {

// The end of the log (a log grows without bound; the reason is near its end).
std::string LogTail(const std::string& path, off_t length) {
    UniqueFd fd(OpenRegularFile(path, O_RDONLY));
    if (!fd.valid()) return {};
    const off_t size = ::lseek(fd.get(), 0, SEEK_END);
    const off_t from = std::max<off_t>(0, size - length);
    std::string tail(static_cast<size_t>(size - from), '\0');
    const ssize_t got = ::pread(fd.get(), tail.data(), tail.size(), from);
    tail.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return tail;
}

// "E20261207 19:30:00.123456 4242 ProxyServer.cpp:142] text" -> "text".
std::string WithoutLogPrefix(const std::string& line) {
    static const std::regex prefix(R"(^[IWEF]\d{4,8} \d{2}:\d{2}:\d{2}\.\d+ +\d+ [^\]]*\] )");
    return std::regex_replace(line, prefix, "", std::regex_constants::format_first_only);
}

}  // namespace

std::string ReadExitReason(const Paths& paths) {
    if (const auto failure = ReadRegularFile(paths.failureFile, 4096)) {
        const std::string line = Trimmed(failure->substr(0, failure->find('\n')));
        if (!line.empty()) return line;
    }
    const std::string tail = LogTail(paths.logFile, 8192);
    const size_t marker = tail.rfind(kLaunchMarker);
    if (marker == std::string::npos) return {};
    std::istringstream lines(tail.substr(marker + std::strlen(kLaunchMarker)));
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        if (!Trim(line).empty()) last = Trimmed(line);
    }
    return WithoutLogPrefix(last);
}

uint32_t ReadRawState(const Paths& paths) {
    if (!ServerAlive(paths)) return raw_state::kStopped;
    const std::string word = ReadStateWord(paths);
    if (word == kRunning) return raw_state::kRunning;
    if (word == kStopping) return raw_state::kStopPending;
    return raw_state::kStartPending;
}

}  // namespace local_service
