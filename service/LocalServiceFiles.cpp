#include "service/LocalServiceFiles.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "service/ServiceManager.h"
#include "service/ServiceNames.h"
#include "service/UniqueFd.h"

namespace local_service {

namespace {
std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
}  // namespace

Paths::Paths(const std::string& serviceDir)
    : dir(serviceDir),
      registration(serviceDir + "/service.conf"),
      pidFile(serviceDir + "/server.pid"),
      stateFile(serviceDir + "/state"),
      logFile(serviceDir + "/server.log"),
      controlLock(serviceDir + "/control.lock") {}

std::string DefaultRoot() {
    if (const char* root = std::getenv(kRootVariable); root && *root) return root;
    const auto exe = OwnExecutablePath();
    const std::string dir = exe ? exe->substr(0, exe->rfind('/')) : std::string(".");
    return dir + "/services";
}

std::optional<Registration> ReadRegistration(const std::string& path) {
    const auto content = ReadWholeFile(path);
    if (!content) return std::nullopt;
    Registration registration;
    std::istringstream lines(*content);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        registration[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
    }
    return registration;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    {
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.valid()) return false;
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
    UniqueFd fd(::open(paths.pidFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    // A shared lock is refused only while the server holds its exclusive one; the probe's
    // own lock goes with the descriptor.
    int result;
    while ((result = ::flock(fd.get(), LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    return result != 0 && errno == EWOULDBLOCK;
}

std::optional<pid_t> RecordedPid(const Paths& paths) {
    const auto content = ReadWholeFile(paths.pidFile);
    if (!content) return std::nullopt;
    const std::string text = Trim(*content);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return std::nullopt;
    }
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid <= 1) return std::nullopt;
    return static_cast<pid_t>(pid);
}

std::string ReadStateWord(const Paths& paths) {
    const auto content = ReadWholeFile(paths.stateFile);
    return content ? Trim(*content) : std::string();
}

uint32_t ReadRawState(const Paths& paths) {
    if (!ServerAlive(paths)) return raw_state::kStopped;
    const std::string word = ReadStateWord(paths);
    if (word == kRunning) return raw_state::kRunning;
    if (word == kStopping) return raw_state::kStopPending;
    return raw_state::kStartPending;
}

}  // namespace local_service
