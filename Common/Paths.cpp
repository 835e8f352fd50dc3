#include "Common/Paths.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <optional>

namespace {

std::mutex overrideMutex;
std::optional<std::string> directoryOverride;

std::optional<std::string> CurrentOverride() {
    std::lock_guard<std::mutex> guard(overrideMutex);
    return directoryOverride;
}

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return {};
    std::string directory(path, static_cast<size_t>(length));
    if (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    const size_t slash = directory.rfind('/');
    return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

// One rule for every file beside the executable: worked out on first use, then copied.
std::string BesideExecutable(const char* name, const std::string& (*cached)()) {
    if (auto directory = CurrentOverride()) return JoinPath(*directory, name);
    return cached();
}

const std::string& CachedMainDbPath() {
    static const std::string path = JoinPath(ExecutableDirectory(), "main.db");
    return path;
}

const std::string& CachedVersionFilePath() {
    static const std::string path = JoinPath(ExecutableDirectory(), "version.ini");
    return path;
}

}  // namespace

std::string GetModuleDirectory() {
    if (auto directory = CurrentOverride()) return *directory;
    return ExecutableDirectory();
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

std::string GetModuleFilePath(const std::string& name) {
    return JoinPath(GetModuleDirectory(), name);
}

std::string GetMainDbPath() {
    return BesideExecutable("main.db", &CachedMainDbPath);
}

std::string GetVersionFilePath() {
    return BesideExecutable("version.ini", &CachedVersionFilePath);
}

void OverrideModuleDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(overrideMutex);
    if (directory.empty()) {
        directoryOverride.reset();
    } else {
        directoryOverride = directory;
    }
}
