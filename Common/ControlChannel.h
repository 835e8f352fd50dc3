#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The control channel's contract, kept here (header only) for both of its ends (the server and
// the console's client): where it listens, the commands, and the keys of the JSON replies. A
// request is one line, the command's name, for some commands a space and an argument, and
// "\r\n"; each reply is a decimal length line, "\r\n", and that many bytes of JSON.
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
    kConnections,  // every live client connection, the fastest first
    kDisconnect,   // argument: "id N", "user NAME" or "ip ADDRESS"
    kTraffic,      // argument: an account's name; its bytes per day
    kUnknown,
};

inline constexpr std::array<std::pair<std::string_view, Command>, 11> kCommandNames = {{
    {"system", Command::kSystem},
    {"statistic", Command::kStatistic},
    {"engine", Command::kEngine},
    {"applyconf", Command::kApplyConf},
    {"flowrealtime", Command::kFlowRealtime},
    {"flowip", Command::kFlowIp},
    {"flowuser", Command::kFlowUser},
    {"bandwidth", Command::kBandwidth},
    {"connections", Command::kConnections},
    {"disconnect", Command::kDisconnect},
    {"traffic", Command::kTraffic},
}};

// Whether the command takes an argument (it must then have one; the others must have none).
constexpr bool TakesArgument(Command command) {
    return command == Command::kDisconnect || command == Command::kTraffic;
}

// "system", "statistic", …; kUnknown for any other name.
constexpr Command CommandNamed(std::string_view name) {
    for (const auto& [text, command] : kCommandNames) {
        if (text == name) return command;
    }
    return Command::kUnknown;
}

// The line that asks for `command`: "applyconf\r\n", "traffic alice\r\n". An argument
// holding a line end or a NUL would end or cut the request: the caller refuses it first
// (ArgumentIsSendable).
inline std::string RequestLine(Command command, std::string_view argument = {}) {
    for (const auto& [text, named] : kCommandNames) {
        if (named != command) continue;
        std::string line(text);
        if (!argument.empty()) line.append(" ").append(argument);
        return line + "\r\n";
    }
    return "\r\n";
}

constexpr bool ArgumentIsSendable(std::string_view argument) {
    return argument.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// One request line (without its end) read as a command and its argument: the name is the text
// before the first space, the argument all after it. A command given an argument it does not
// take, or missing one it needs, is kUnknown (refused like any unknown name); so is a name
// followed by a space and nothing ("system "), as it always was.
struct Request {
    Command command = Command::kUnknown;
    std::string_view argument;
};

constexpr Request ReadRequestLine(std::string_view line) {
    const size_t space = line.find(' ');
    const std::string_view name = line.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    const Command command = CommandNamed(name);
    const bool spaced = space != std::string_view::npos;
    if (command == Command::kUnknown || TakesArgument(command) != spaced ||
        (spaced && argument.empty()))
        return {};
    return {command, argument};
}

// What a "disconnect" argument names: "id N" (a connection's id), "user NAME" (every
// connection of that account; "" is not a name), "ip ADDRESS" (every connection from it).
enum class DisconnectBy { kId, kUser, kIp };
inline constexpr std::array<std::pair<std::string_view, DisconnectBy>, 3> kDisconnectForms = {{
    {"id", DisconnectBy::kId},
    {"user", DisconnectBy::kUser},
    {"ip", DisconnectBy::kIp},
}};

struct DisconnectTarget {
    DisconnectBy by = DisconnectBy::kId;
    std::string_view value;  // the id's digits, the account's name or the address, as sent
};

// "id 7" -> {kId, "7"}; nullopt for another form or an empty value. The value is checked by
// the server (an id ReadConnectionId reads, an address it can read).
constexpr std::optional<DisconnectTarget> ReadDisconnectTarget(std::string_view argument) {
    const size_t space = argument.find(' ');
    if (space == std::string_view::npos || space + 1 == argument.size()) return std::nullopt;
    const std::string_view form = argument.substr(0, space);
    for (const auto& [text, by] : kDisconnectForms) {
        if (text == form) return DisconnectTarget{by, argument.substr(space + 1)};
    }
    return std::nullopt;
}

// The id of "id N": decimal digits only (no sign, no blank), within 64 bits; nullopt for
// anything else.
inline std::optional<uint64_t> ReadConnectionId(std::string_view digits) {
    uint64_t id = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, id);
    if (error != std::errc() || stop != end) return std::nullopt;
    return id;
}

// The argument of "disconnect" that names `value` by `by`: "user alice".
inline std::string DisconnectArgument(DisconnectBy by, std::string_view value) {
    for (const auto& [text, form] : kDisconnectForms) {
        if (form == by) return std::string(text) + " " + std::string(value);
    }
    return {};
}

// At most this many connection rows in a "connections" reply ("total" counts them all).
inline constexpr size_t kConnectionRowLimit = 1000;
// The "protocol" of a connection row.
inline constexpr char kProtocolHttp[] = "http";
inline constexpr char kProtocolConnect[] = "connect";
inline constexpr char kProtocolSocks5[] = "socks5";

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
// connections: "total" at the root; each row of "data": id, ip, user ("" when anonymous),
// protocol, destination ("host:port"), since (unix seconds), bytes_up, bytes_down and rate
// (bytes per second over the last 2 s)
inline constexpr char kTotal[] = "total";
inline constexpr char kId[] = "id";
inline constexpr char kProtocol[] = "protocol";
inline constexpr char kDestination[] = "destination";
inline constexpr char kSince[] = "since";
inline constexpr char kBytesUp[] = "bytes_up";
inline constexpr char kBytesDown[] = "bytes_down";
inline constexpr char kRate[] = "rate";
// disconnect: how many connections were closed, at the root
inline constexpr char kClosed[] = "closed";
// traffic: "user" at the root; each row of "data", oldest first, one per day that moved bytes
// (at most the days main.db keeps, kKeptTrafficDays): day ("YYYY-MM-DD", local time), bytes_up,
// bytes_down
inline constexpr char kDay[] = "day";
}  // namespace key

}  // namespace control
