#include "ui/ConsoleLogging.h"

#include <glog/logging.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Common/PrivateFiles.h"

namespace fs = std::filesystem;

namespace {

bool Absolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

// The account's home: $HOME, else the password database's (pkexec clears the environment).
const char* Home() {
    if (const char* home = std::getenv("HOME"); Absolute(home)) return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? entry->pw_dir : nullptr;
}

// The folder made private (its parents as usual); empty when it cannot be.
std::string PrivateLogFolder() {
    const std::string folder = ConsoleLogFolder(std::getenv("XDG_STATE_HOME"), Home());
    if (folder.empty()) return "";
    std::error_code error;
    fs::create_directories(fs::path(folder).parent_path(), error);
    return EnsurePrivateFolder(folder).empty() ? folder : "";
}

}  // namespace

std::string ConsoleLogFolder(const char* xdgStateHome, const char* home) {
    if (Absolute(xdgStateHome)) return std::string(xdgStateHome) + "/torvoproxy";
    if (Absolute(home)) return std::string(home) + "/.local/state/torvoproxy";
    return "";
}

void PruneLogFolder(const std::string& folder, std::size_t keep) {
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error) && !entry.is_symlink(error)) {
            files.emplace_back(entry.last_write_time(error), entry.path());
        }
    }
    if (files.size() <= keep) return;
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i + keep < files.size(); ++i) fs::remove(files[i].second, error);
}

std::string SetUpConsoleLogging(const char* argv0) {
    std::string folder;
    if (!::isatty(STDERR_FILENO)) folder = PrivateLogFolder();
    if (folder.empty()) {
        FLAGS_logtostderr = true;
    } else {
        // Room for this run's files (one a severity) among the kept ones.
        PruneLogFolder(folder, kConsoleLogFiles - 3);
        FLAGS_log_dir = folder;
        FLAGS_alsologtostderr = true;
        FLAGS_logfile_mode = 0600;
        FLAGS_max_log_size = kConsoleLogFileMb;
    }
    google::InitGoogleLogging(argv0);
    return folder;
}
