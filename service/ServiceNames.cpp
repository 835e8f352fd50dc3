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
        std::string program =
            slash == std::string::npos ? std::string() : consolePath->substr(0, slash);
        program += '/';
        program += kProxyServerExecutable;
        // Unquoted, a directory with a blank would split the program path into several words
        // and the service could never start; without blanks the line stays unquoted.
        const bool hasBlank = program.find_first_of(" \t") != std::string::npos;
        commandLine = hasBlank ? '"' + program + '"' : program;
    }
    commandLine += " -s";
    return commandLine;
}
