#include "ui/pages/models/TrafficDays.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace {

using std::chrono::sys_days;
using std::chrono::year_month_day;

sys_days DaysOf(const CalendarDay& day) {
    return sys_days(year_month_day(std::chrono::year(day.year),
                                   std::chrono::month(static_cast<unsigned>(day.month)),
                                   std::chrono::day(static_cast<unsigned>(day.day))));
}

CalendarDay CalendarOf(sys_days days) {
    const year_month_day ymd(days);
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

// "YYYY-MM-DD" exactly, naming a real day.
std::optional<sys_days> ReadDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int parts[3];
    const size_t starts[] = {0, 5, 8}, lengths[] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        const char* begin = text.data() + starts[i];
        const char* end = begin + lengths[i];
        const auto [stop, error] = std::from_chars(begin, end, parts[i]);
        if (error != std::errc() || stop != end) return std::nullopt;
    }
    const year_month_day ymd(std::chrono::year(parts[0]),
                             std::chrono::month(static_cast<unsigned>(parts[1])),
                             std::chrono::day(static_cast<unsigned>(parts[2])));
    if (!ymd.ok()) return std::nullopt;
    return sys_days(ymd);
}

}  // namespace

std::vector<DayBytes> LastDays(const std::vector<TrafficDay>& rows, const CalendarDay& today,
                               int days) {
    if (days <= 0) return {};
    const sys_days last = DaysOf(today);
    const sys_days first = last - std::chrono::days(days - 1);
    std::map<sys_days, uint64_t> bytes;
    for (const TrafficDay& row : rows) {
        const std::optional<sys_days> day = ReadDay(row.day);
        if (!day || *day < first || *day > last) continue;
        for (const uint64_t add : {row.bytesUp, row.bytesDown}) {
            uint64_t& sum = bytes[*day];
            sum = add > UINT64_MAX - sum ? UINT64_MAX : sum + add;  // a wild reply saturates
        }
    }
    std::vector<DayBytes> out;
    out.reserve(static_cast<size_t>(days));
    for (sys_days day = first; day <= last; day += std::chrono::days(1)) {
        const auto found = bytes.find(day);
        out.push_back({CalendarOf(day), found == bytes.end() ? 0 : found->second});
    }
    return out;
}

TrafficUnit UnitFor(uint64_t largest) {
    static constexpr const char* kNames[] = {"B", "KB", "MB", "GB"};
    double divisor = 1;
    int unit = 0;
    while (unit < 3 && static_cast<double>(largest) >= divisor * 1024) {
        divisor *= 1024;
        ++unit;
    }
    return {divisor, kNames[unit]};
}
