#include "Common/Paths.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <optional>

namespace {

std::mutex overrideMutex;
std::optional<std::string> directoryOverride;

const std::string& ExecutableDirectory() {
    static const std::string directory = []() -> std::string {
        const std::string& file = ExecutablePath();
        const size_t slash = file.rfind('/');
        if (slash == std::string::npos) return {};
        return slash == 0 ? "/" : file.substr(0, slash);  // the root keeps its "/"
    }();
    return directory;
}

}  // namespace

const std::string& ExecutablePath() {
    static const std::string path = []() -> std::string {
        char buffer[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
        return std::string(buffer, static_cast<size_t>(length));
    }();
    return path;
}

std::string GetModuleDirectory() {
    {
        std::lock_guard<std::mutex> guard(overrideMutex);
        if (directoryOverride) return *directoryOverride;
    }
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
    return GetModuleFilePath("main.db");
}

std::string GetVersionFilePath() {
    return GetModuleFilePath("version.ini");
}

void OverrideModuleDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(overrideMutex);
    if (directory.empty()) {
        directoryOverride.reset();
    } else {
        directoryOverride = directory;
    }
}
