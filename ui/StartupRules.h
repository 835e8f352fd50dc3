#pragma once
// The plain rules of console start-up, kept apart from Qt windows so tests check them directly.
#include <string>
#include <vector>

#include "ui/res/UiLanguage.h"

// "zh" exactly (case-sensitive) selects Chinese; anything else, the empty text included, English.
res::UiLanguage UiLanguageForSetting(const std::string& language);

// The command line that lets a console start while another still runs: the arguments after
// the program name, joined by single blanks, must be exactly "--restart".
inline constexpr char kRestartCommandLine[] = "--restart";
bool IsRestartCommandLine(const std::vector<std::string>& arguments);

// What start-up does about the rights it needs to control the proxy service and write main.db.
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

// Why the console cannot open a window, judged from the environment's QT_QPA_PLATFORM,
// DISPLAY and WAYLAND_DISPLAY (null or empty when unset); empty when a display may be there.
// Platforms that need no display (offscreen, vnc, ...) always may.
std::string NoDisplayReason(const char* platform, const char* display, const char* wayland);
