#include "Common/ByteCount.h"

#include <array>
#include <cstdio>

std::string FormatBytes(uint64_t bytes) {
    static constexpr std::array kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < kUnits.size()) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %s", value, kUnits[unit]);
    return text;
}
