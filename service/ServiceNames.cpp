#include "service/ServiceNames.h"

#include <unistd.h>

#include <climits>

std::optional<std::string> OwnExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof(buffer))) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(length));
}

std::string ProxyCommandLine(const std::optional<std::string>& consolePath) {
    std::string commandLine;
    if (consolePath) {
        const size_t slash = consolePath->rfind('/');
        commandLine = slash == std::string::npos ? std::string() : consolePath->substr(0, slash);
        commandLine += '/';
        commandLine += kProxyServerExecutable;
    }
    commandLine += " -s";
    return commandLine;
}
