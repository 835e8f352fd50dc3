#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// The control channel's contract, kept here (header only) for both of its ends (the server and
// the console's client): where it listens, the commands, and the keys of the JSON replies. A
// request is one line, the command's name and "\r\n"; each reply is a decimal length line, "\r\n",
// and that many bytes of JSON.
namespace control {

// On 127.0.0.1.
inline constexpr uint16_t kDefaultPort = 8090;

enum class Command {
    kSystem,
    kStatistic,
    kEngine,
    kApplyConf,
    kFlowRealtime,
    kFlowIp,
    kFlowUser,
    kBandwidth,
    kUnknown,
};

inline constexpr std::array<std::pair<std::string_view, Command>, 8> kCommandNames = {{
    {"system", Command::kSystem},
    {"statistic", Command::kStatistic},
    {"engine", Command::kEngine},
    {"applyconf", Command::kApplyConf},
    {"flowrealtime", Command::kFlowRealtime},
    {"flowip", Command::kFlowIp},
    {"flowuser", Command::kFlowUser},
    {"bandwidth", Command::kBandwidth},
}};

// "system", "statistic", …; kUnknown for any other name.
constexpr Command CommandNamed(std::string_view name) {
    for (const auto& [text, command] : kCommandNames) {
        if (text == name) return command;
    }
    return Command::kUnknown;
}

// The line that asks for `command`: "applyconf\r\n".
inline std::string RequestLine(Command command) {
    for (const auto& [text, named] : kCommandNames) {
        if (named == command) return std::string(text) + "\r\n";
    }
    return "\r\n";
}

// The keys of the replies. Every reply: err_code (0: success), err_msg, and data.
namespace key {
inline constexpr char kErrCode[] = "err_code";
inline constexpr char kErrMsg[] = "err_msg";
inline constexpr char kData[] = "data";
// statistic's data
inline constexpr char kOnlineUsers[] = "onlineUsers";
inline constexpr char kOnlineDevices[] = "onlineDevices";
inline constexpr char kTotalAlarms[] = "totalAlarms";
inline constexpr char kTotalIOBytes[] = "totalIOBytes";
// bandwidth: the rate at the root
inline constexpr char kBytes[] = "bytes";
// the rows of flowrealtime, flowip and flowuser
inline constexpr char kIp[] = "ip";
inline constexpr char kUser[] = "user";
inline constexpr char kCurrentConnections[] = "current_connections";
inline constexpr char kTotalBytes[] = "total_bytes";
inline constexpr char kBytesPerSecond[] = "bytes_persecond";
inline constexpr char kLastReportTime[] = "last_report_time";
// system's and applyconf's data: the port the server listens on; applyconf's also whether
// the stored port differs from it (the server binds its port only at start)
inline constexpr char kListenPort[] = "listen_port";
inline constexpr char kRestartNeeded[] = "restart_needed";
}  // namespace key

}  // namespace control
