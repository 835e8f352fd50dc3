#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The control channel's wire format: one request per line ("statistic\r\n"), one reply per
// request as a decimal length line, "\r\n", and exactly that many body bytes.
namespace control {

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

// Longest request line accepted; the longest command is far shorter.
inline constexpr size_t kMaxRequestLine = 256;

enum class Read { kNeedMore, kRequest, kTooLong };

// Reads the first request line from `bytes` (ended by "\n", an optional "\r" before it);
// on kRequest `used` is the line's length with its end and `command` what it asks.
Read ReadRequest(std::string_view bytes, Command& command, size_t& used);

Command CommandNamed(std::string_view name);

// The length line and the body.
std::string FrameReply(std::string_view body);

}  // namespace control
