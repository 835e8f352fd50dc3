#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Common/ControlChannel.h"

// The server's end of the control channel (Common/ControlChannel.h): reading request lines and
// framing replies.
namespace control {

// Longest request line accepted; the longest command is far shorter.
inline constexpr size_t kMaxRequestLine = 256;

enum class Read { kNeedMore, kRequest, kTooLong };

// Reads the first request line from `bytes` (ended by "\n", an optional "\r" before it);
// on kRequest `used` is the line's length with its end and `request` what it asks (its argument
// a view into `bytes`; kUnknown for a line that is no request).
Read ReadRequest(std::string_view bytes, Request& request, size_t& used);

// The length line and the body.
std::string FrameReply(std::string_view body);

}  // namespace control
