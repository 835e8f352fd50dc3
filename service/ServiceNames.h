#pragma once

#include <optional>
#include <string>

inline constexpr const char* kProxyServiceName = "TorvoProxyServer";
inline constexpr const char* kProxyDisplayName = "Torvo Proxy Server";
inline constexpr const char* kProxyDescription = "Torvo Proxy Server";
inline constexpr const char* kProxyServerExecutable = "TorvoProxyServer";

// The running program's full path, or nothing when it cannot be read.
std::optional<std::string> OwnExecutablePath();

// The server's command line: the console's directory, "/", the server executable and " -s",
// the program path in double quotes when the directory holds a blank; only " -s" when the
// console's path is unknown.
std::string ProxyCommandLine(const std::optional<std::string>& consolePath);
