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
        control::Command command = control::Command::kUnknown;
        size_t used = 0;
        const control::Read read = control::ReadRequest(bytes, command, used);
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
        // One whole line, its end included; a known command is exactly its name.
        FUZZ_CHECK(used >= 1 && used <= bytes.size() && used <= control::kMaxRequestLine);
        FUZZ_CHECK(bytes[used - 1] == '\n' &&
                   bytes.substr(0, used - 1).find('\n') == std::string_view::npos);
        std::string_view line = bytes.substr(0, used - 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        FUZZ_CHECK(control::CommandNamed(line) == command);
        const std::string framed = control::FrameReply(line);
        FUZZ_CHECK(framed == std::to_string(line.size()) + "\r\n" + std::string(line));
        bytes.remove_prefix(used);
    }
}
