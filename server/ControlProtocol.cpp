#include "server/ControlProtocol.h"

namespace control {

Read ReadRequest(std::string_view bytes, Request& request, size_t& used) {
    const size_t newline = bytes.substr(0, kMaxRequestLine).find('\n');
    if (newline == std::string_view::npos) {
        return bytes.size() >= kMaxRequestLine ? Read::kTooLong : Read::kNeedMore;
    }
    std::string_view line = bytes.substr(0, newline);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    request = ReadRequestLine(line);
    used = newline + 1;
    return Read::kRequest;
}

std::string FrameReply(std::string_view body) {
    std::string out = std::to_string(body.size());
    out.append("\r\n").append(body);
    return out;
}

}  // namespace control
