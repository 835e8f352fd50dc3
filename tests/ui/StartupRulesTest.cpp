// The plain start-up rules, without Qt (also under the sanitizers).
#include <glog/logging.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <tuple>

#include "tests/support/TempDir.h"
#include "ui/ConsoleLogging.h"
#include "ui/StartupRules.h"

namespace {

// Without a terminal: never the shared temporary folder, files no other account reads.
TEST(StartupRules, TheConsoleLogsIntoAPrivateBoundedStateFolder) {
    namespace fs = std::filesystem;
    EXPECT_EQ(ConsoleLogFolder("/s", "/h"), "/s/torvoproxy");
    EXPECT_EQ(ConsoleLogFolder("relative", "/h"), "/h/.local/state/torvoproxy");
    EXPECT_EQ(ConsoleLogFolder(nullptr, "relative"), "");
    const test::TempDir dir;
    const std::string folder = dir.path() + "/state/torvoproxy", tmp = dir.path() + "/tmp";
    fs::create_directories(tmp);
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all);
    for (int i = 0; i < 20; ++i) {
        test::WriteText(folder + "/old" + std::to_string(i), "old");
        fs::last_write_time(folder + "/old" + std::to_string(i),
                            fs::file_time_type::clock::now() - std::chrono::hours(20 - i));
    }
    ::setenv("XDG_STATE_HOME", (dir.path() + "/state").c_str(), 1);
    for (const char* variable : {"TMPDIR", "TMP", "TEMP"}) ::setenv(variable, tmp.c_str(), 1);
    const int savedErr = ::dup(STDERR_FILENO);
    test::WriteText(dir.path() + "/stderr", "");
    ASSERT_TRUE(::freopen((dir.path() + "/stderr").c_str(), "w", stderr));
    const std::string used = SetUpConsoleLogging("console-test");
    LOG(WARNING) << "a line for the log file";
    google::FlushLogFiles(google::GLOG_INFO);
    std::fflush(stderr);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedErr);
    EXPECT_EQ(used, folder);
    EXPECT_EQ(test::ModeOf(folder), 0700u);
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_NE(test::ReadText(dir.path() + "/stderr").find("a line for the log file"),
              std::string::npos)
        << "also on standard error";
    size_t files = 0, written = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_symlink() || !entry.is_regular_file()) continue;
        ++files;
        if (test::ReadText(entry.path()).find("a line for the log file") == std::string::npos)
            continue;
        ++written;
        EXPECT_EQ(test::ModeOf(entry.path()), 0600u) << entry.path();
    }
    EXPECT_GE(written, 1u);
    EXPECT_LE(files, kConsoleLogFiles);
    EXPECT_FALSE(fs::exists(folder + "/old0") || fs::exists(folder + "/old13"));
    EXPECT_TRUE(fs::exists(folder + "/old19")) << "the newest kept";
}

// Platforms that need no display always go on.
TEST(StartupRules, NoDisplayIsToldFromTheEnvironment) {
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {nullptr, nullptr, nullptr, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {"", "", "", "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {nullptr, ":0", nullptr, ""},
        {nullptr, nullptr, "wayland-0", ""},
        {"xcb", nullptr, "wayland-0", "DISPLAY is not set"},
        {"wayland", ":0", nullptr, "WAYLAND_DISPLAY is not set"},
        {"offscreen", nullptr, nullptr, ""},
    };
    for (const auto& [platform, display, wayland, reason] : rows) {
        EXPECT_EQ(NoDisplayReason(platform, display, wayland), reason)
            << (platform ? platform : "-") << (display ? display : "-");
    }
}

}  // namespace
