#include "server/SafeText.h"

#include <algorithm>
#include <cstdio>

std::string SafeText(std::string_view text, size_t maxBytes) {
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    bool cut = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[5] = {c, '\0'};
        if (byte < 0x20 || byte == 0x7F) std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        const std::string_view piece(escaped, byte < 0x20 || byte == 0x7F ? 4 : 1);
        if (out.size() + piece.size() > maxBytes) {
            cut = true;
            break;
        }
        out += piece;
    }
    if (!cut) return out;
    // Room for the mark, then back to the start of a UTF-8 character.
    const bool marked = maxBytes >= kCutMark.size();
    size_t end = std::min(out.size(), marked ? maxBytes - kCutMark.size() : maxBytes);
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
    if (marked) out.append(kCutMark);
    return out;
}

std::string WithoutUserinfo(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const size_t authority = scheme + 3;
    const size_t authorityEnd = url.find_first_of("/?#", authority);
    const size_t at = url.substr(0, authorityEnd).rfind('@');
    if (at == std::string_view::npos || at < authority) return std::string(url);
    return std::string(url.substr(0, authority)).append(url.substr(at + 1));
}
