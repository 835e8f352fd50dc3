#pragma once
// Where the console's log goes: standard error always; when standard error is no terminal (a
// console started from the desktop menu), also files in a private per-user state folder whose
// total size stays bounded. Never the shared temporary folder.
#include <cstddef>
#include <string>

// $XDG_STATE_HOME/torvoproxy, else <home>/.local/state/torvoproxy; empty when neither is an
// absolute path.
std::string ConsoleLogFolder(const char* xdgStateHome, const char* home);

// Deletes the oldest regular files of `folder` (by modification time) until `keep` remain;
// links (glog's pointers to the newest files) are left alone.
void PruneLogFolder(const std::string& folder, std::size_t keep);

// Sets glog up as above (files 0600, at most kConsoleLogFiles of kConsoleLogFileMb MB each,
// the folder 0700) and initialises it for `argv0`. Returns the folder written to, empty when
// the log goes to standard error alone.
inline constexpr std::size_t kConsoleLogFiles = 9;
inline constexpr unsigned kConsoleLogFileMb = 1;
std::string SetUpConsoleLogging(const char* argv0);
