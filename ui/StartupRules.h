#pragma once
// The plain rules of console start-up, kept apart from Qt windows so tests check them directly.
#include <string>
#include <vector>

// The command line that lets a console start while another still runs: the arguments after
// the program name, joined by single blanks, must be exactly "--restart".
inline constexpr char kRestartCommandLine[] = "--restart";
bool IsRestartCommandLine(const std::vector<std::string>& arguments);

// Why the console cannot open a window, judged from the environment's QT_QPA_PLATFORM,
// DISPLAY and WAYLAND_DISPLAY (null or empty when unset); empty when a display may be there.
// Platforms that need no display (offscreen, vnc, ...) always may.
std::string NoDisplayReason(const char* platform, const char* display, const char* wayland);
