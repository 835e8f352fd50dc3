#pragma once

#include <string>

// Files that lie beside the running executable: main.db, version.ini, busy.gif, the server.

// The running executable's full path, empty when it cannot be read (asked of the system once
// per process). The one place that reads it: everything else asks GetModuleDirectory().
const std::string& ExecutablePath();
// The executable's directory without a trailing "/" ("/" itself for the root); empty when the
// path cannot be had.
std::string GetModuleDirectory();
// `directory` and `name` joined with one "/"; just `name` when the directory is empty.
std::string JoinPath(const std::string& directory, const std::string& name);
// The module directory joined with `name`.
std::string GetModuleFilePath(const std::string& name);
// "main.db" and "version.ini" beside the executable.
std::string GetMainDbPath();
std::string GetVersionFilePath();

// Test seam: from now on the functions above (GetModuleDirectory included) answer for
// `directory` instead of the executable's directory; an empty text undoes it.
void OverrideModuleDirectory(const std::string& directory);
