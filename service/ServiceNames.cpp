#include "service/ServiceNames.h"

#include "Common/Paths.h"

std::string ProxyCommandLine(const std::string& consoleDirectory) {
    std::string commandLine;
    if (!consoleDirectory.empty()) {
        const std::string program = JoinPath(consoleDirectory, kProxyServerExecutable);
        // Unquoted, a directory with a blank would split the program path into several words
        // and the service could never start; without blanks the line stays unquoted.
        const bool hasBlank = program.find_first_of(" \t") != std::string::npos;
        commandLine = hasBlank ? '"' + program + '"' : program;
    }
    commandLine += " -s";
    return commandLine;
}
