#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Reads the C atoi way: leading white space, an optional sign, then digits up to the first
// other character; no digits give 0. Values beyond the 32-bit range saturate (atoi leaves
// them undefined).
int32_t ParseLengthHeader(std::string_view text);

// Reassembles one reply of the control channel from the pieces the socket hands over:
// a decimal length line ending in "\r\n", then exactly that many body bytes. The body is
// built in the caller's buffer.
class ReplyFramer {
public:
    enum class Status { kNeedMore, kComplete, kFailed };

    // Larger declared lengths are refused rather than waited for.
    static constexpr int32_t kMaxBodyLength = 64 * 1024 * 1024;

    explicit ReplyFramer(std::string& body);

    // Appends one received piece. kFailed: more bytes than declared, or a declared length
    // that is negative or above kMaxBodyLength.
    Status Feed(std::string_view piece);

private:
    Status Compare() const;

    std::string& body_;
    bool headerRead_ = false;
    int32_t declaredLength_ = 0;
    size_t scanFrom_ = 0;  // where the search for "\r\n" resumes
};
