#pragma once
// The rights a console needs to control the proxy service and write main.db, and what to do
// when they are missing. The window console and the command-line console decide alike.
#include <string>

enum class RightsAction {
    GoOn,                 // the rights are there
    RelaunchElevated,     // start an elevated copy (no arguments) and end this one
    ReportNoRoot,         // the system service needs root and elevation is impossible
    ReportNoWriteAccess,  // the install directory is not writable and elevation is impossible
};

struct RightsFacts {
    bool systemdBackend = false;  // the service runs under systemd (else the local backend)
    bool isRoot = false;
    bool installDirWritable = false;  // and main.db in it, when it exists
    bool canElevate = false;          // an elevation prompt (pkexec) is available
};

RightsAction DecideRights(const RightsFacts& facts);

// The facts of this process for the install folder `installDir` (main.db in it) and the
// backend the service runs under; `canElevate` is the caller's (a console without a window
// has no elevation prompt).
RightsFacts GatherRightsFacts(const std::string& installDir, bool canElevate);
