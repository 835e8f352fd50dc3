#pragma once

#include <string>

inline constexpr const char* kProxyServiceName = "TorvoProxyServer";
inline constexpr const char* kProxyDisplayName = "Torvo Proxy Server";
inline constexpr const char* kProxyDescription = "Torvo Proxy Server";
inline constexpr const char* kProxyServerExecutable = "TorvoProxyServer";

// The server's command line: the console's directory, "/", the server executable and " -s",
// the program path in double quotes when the directory holds a blank; only " -s" when the
// console's directory is unknown (empty).
std::string ProxyCommandLine(const std::string& consoleDirectory);
