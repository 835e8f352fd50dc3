#include "ui/StartupRules.h"

bool IsRestartCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) line += ' ';
        line += arguments[i];
    }
    return line == kRestartCommandLine;
}

std::string NoDisplayReason(const char* platform, const char* display, const char* wayland) {
    auto set = [](const char* value) { return value != nullptr && *value != '\0'; };
    const std::string chosen = set(platform) ? platform : "";
    // "xcb:option=..." and "wayland-egl" name the same displays.
    const bool x11 = chosen.rfind("xcb", 0) == 0;
    const bool waylandPlatform = chosen.rfind("wayland", 0) == 0;
    if (x11 && !set(display)) return "DISPLAY is not set";
    if (waylandPlatform && !set(wayland)) return "WAYLAND_DISPLAY is not set";
    if (chosen.empty() && !set(display) && !set(wayland)) {
        return "neither DISPLAY nor WAYLAND_DISPLAY is set";
    }
    return {};
}
