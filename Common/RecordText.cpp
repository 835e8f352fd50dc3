#include "Common/RecordText.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "Common/DateTime.h"

namespace {

void AppendNumber(int64_t value, std::string& out) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

}  // namespace

void AppendDottedAddress(uint32_t address, std::string& out) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        AppendNumber((address >> shift) & 0xFF, out);
        if (shift > 0) out += '.';
    }
}

void AppendClientAddress(uint32_t ipv4, std::string_view ipv6, std::string& out) {
    if (ipv6.empty()) {
        AppendDottedAddress(ipv4, out);
    } else {
        out += ipv6;
    }
}

AddressOrderKey::AddressOrderKey(uint32_t ipv4, std::string_view ipv6) {
    if (ipv6.empty()) {
        bytes_[0] = 0;
        for (int i = 0; i < 4; ++i) bytes_[1 + i] = static_cast<char>(ipv4 >> (24 - 8 * i));
        size_ = 5;
        return;
    }
    const std::string address(ipv6.substr(0, ipv6.find('%')));
    if (inet_pton(AF_INET6, address.c_str(), bytes_ + 1) == 1) {
        bytes_[0] = 1;
        size_ = 17;
        return;
    }
    bytes_[0] = 2;
    size_ = static_cast<uint8_t>(1 + std::min<size_t>(ipv6.size(), 16));
    std::memcpy(bytes_ + 1, ipv6.data(), size_ - 1u);
}

std::string TimeText(int64_t seconds) {
    return DateTime::FromUnixTime(seconds).ToString();
}

void TimeTextWriter::Append(int64_t seconds, std::string& out) {
    std::tm local{};
    // Within the cached minute no zone rule or leap second can intervene: those only take
    // effect where the local seconds roll over.
    const int64_t second = haveLast_ ? last_.tm_sec + (seconds - lastSeconds_) : -1;
    if (haveLast_ && last_.tm_sec < 60 && second >= 0 && second < 60) {
        local = last_;
        local.tm_sec = static_cast<int>(second);
    } else {
        const std::time_t time = static_cast<std::time_t>(seconds);
        if (localtime_r(&time, &local) == nullptr) local = {};
        haveLast_ = true;
        lastSeconds_ = seconds;
        last_ = local;
    }
    // The fields and limits of DateTime (16-bit year, 8-bit others, leap second as 59).
    const DateTime shown = DateTime::FromLocalTime(local);
    AppendNumber(shown.year, out);
    out += '-';
    AppendNumber(shown.month, out);
    out += '-';
    AppendNumber(shown.day, out);
    out += ' ';
    AppendNumber(shown.hour, out);
    out += ':';
    AppendNumber(shown.minute, out);
    out += ':';
    AppendNumber(shown.second >= 60 ? 59 : shown.second, out);
}

std::string FoldFilter(std::string_view filter) {
    std::string folded(filter);
    for (char& c : folded) c = static_cast<char>(kFold[static_cast<unsigned char>(c)]);
    return folded;
}

bool ContainsFolded(std::string_view text, std::string_view folded) {
    if (folded.empty()) return true;
    if (folded.size() > text.size()) return false;
    const auto* hay = reinterpret_cast<const unsigned char*>(text.data());
    const auto* needle = reinterpret_cast<const unsigned char*>(folded.data());
    const size_t last = text.size() - folded.size();
    const unsigned char first = needle[0];
    for (size_t i = 0; i <= last; ++i) {
        if (kFold[hay[i]] != first) continue;
        size_t k = 1;
        while (k < folded.size() && kFold[hay[i + k]] == needle[k]) ++k;
        if (k == folded.size()) return true;
    }
    return false;
}
