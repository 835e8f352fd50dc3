// The server's reading of control-channel request lines. Input: the bytes a control client
// sends, read line after line as the server does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/ControlProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (;;) {
        control::Request request;
        size_t used = 0;
        const control::Read read = control::ReadRequest(bytes, request, used);
        if (read == control::Read::kTooLong) {
            FUZZ_CHECK(bytes.size() >= control::kMaxRequestLine);
            FUZZ_CHECK(bytes.substr(0, control::kMaxRequestLine).find('\n') ==
                       std::string_view::npos);
            return 0;
        }
        if (read == control::Read::kNeedMore) {
            FUZZ_CHECK(bytes.find('\n') == std::string_view::npos &&
                       bytes.size() < control::kMaxRequestLine);
            return 0;
        }
        // One whole line, its end included; a known command is its name, then its argument
        // when it takes one, that argument lying within the line.
        FUZZ_CHECK(used >= 1 && used <= bytes.size() && used <= control::kMaxRequestLine);
        FUZZ_CHECK(bytes[used - 1] == '\n' &&
                   bytes.substr(0, used - 1).find('\n') == std::string_view::npos);
        std::string_view line = bytes.substr(0, used - 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (request.command == control::Command::kUnknown) {
            FUZZ_CHECK(request.argument.empty());
        } else if (control::TakesArgument(request.command)) {
            FUZZ_CHECK(!request.argument.empty() && request.argument.data() > line.data() &&
                       request.argument.data() + request.argument.size() ==
                           line.data() + line.size());
            FUZZ_CHECK(control::CommandNamed(line.substr(0, line.find(' '))) == request.command);
        } else {
            FUZZ_CHECK(control::CommandNamed(line) == request.command);
        }
        const std::string framed = control::FrameReply(line);
        FUZZ_CHECK(framed == std::to_string(line.size()) + "\r\n" + std::string(line));
        bytes.remove_prefix(used);
    }
}
