#pragma once
// A fresh temporary directory, removed with everything in it; whole files written and read.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace test {

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

// The permission bits of `path` itself (a link's own), 0 when it is missing.
inline mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Whether every folder above `path` lets other accounts through (a test that runs a program
// in it as another account needs that).
inline bool OthersPassAbove(const std::string& path) {
    for (auto folder = std::filesystem::path(path).parent_path(); folder != folder.root_path();
         folder = folder.parent_path()) {
        if ((ModeOf(folder.string()) & S_IXOTH) == 0) return false;
    }
    return true;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/torvo-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(pattern).string();
    }
    ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::error_code ignored_;
};

}  // namespace test
