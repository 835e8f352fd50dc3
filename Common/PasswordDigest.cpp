#include "Common/PasswordDigest.h"

#include <charconv>

uint32_t PasswordDigest(std::string_view password) {
    uint32_t h = 0;
    for (char c : password) {
        // Bytes above 0x7F enter as negative values, as a signed char does.
        h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        const uint32_t high = h & 0xF0000000u;
        if (high != 0) h ^= high >> 24;
        h &= ~high;
    }
    return h & 0x7FFFFFFFu;
}

std::optional<uint32_t> ParseStoredDigest(std::string_view text) {
    uint32_t digest = 0;
    const char* const end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, digest);
    if (text.empty() || error != std::errc() || next != end || digest > 0x7FFFFFFFu) {
        return std::nullopt;
    }
    return digest;
}
