#include "ctl/Times.h"

#include <charconv>
#include <ctime>

namespace {

// `length` digits at `from` of `text`, nothing else.
std::optional<int> Digits(const std::string& text, size_t from, size_t length) {
    if (from + length > text.size()) return std::nullopt;
    int value = 0;
    const char* begin = text.data() + from;
    for (size_t i = 0; i < length; ++i) {
        if (begin[i] < '0' || begin[i] > '9') return std::nullopt;
    }
    std::from_chars(begin, begin + length, value);
    return value;
}

}  // namespace

std::optional<CalendarDay> ParseDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    if (!year || !month || !day || *year < 1970 || *month < 1 || *month > 12 || *day < 1)
        return std::nullopt;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
    if (*day > kDays[*month - 1] + (*month == 2 && leap ? 1 : 0)) return std::nullopt;
    return CalendarDay{*year, *month, *day};
}

std::optional<int64_t> ParseTime(const std::string& text, bool endOfDay) {
    if (!text.empty() && text.front() == '@') {
        int64_t seconds = 0;
        const char* end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data() + 1, end, seconds);
        if (text.size() == 1 || parsed.ptr != end || parsed.ec != std::errc()) return std::nullopt;
        return seconds;
    }
    const std::optional<CalendarDay> day = ParseDay(text.substr(0, 10));
    if (!day) return std::nullopt;
    std::tm local{};
    local.tm_year = day->year - 1900;
    local.tm_mon = day->month - 1;
    local.tm_mday = day->day;
    local.tm_isdst = -1;
    if (text.size() == 10) {
        local.tm_mday += endOfDay ? 1 : 0;
    } else {
        const bool shaped = (text[10] == ' ' || text[10] == 'T') &&
                            (text.size() == 16 || (text.size() == 19 && text[16] == ':')) &&
                            text[13] == ':';
        const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
        const auto second = text.size() == 19 ? Digits(text, 17, 2) : std::optional<int>(0);
        if (!shaped || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59)
            return std::nullopt;
        local.tm_hour = *hour;
        local.tm_min = *minute;
        local.tm_sec = *second;
    }
    const std::time_t time = std::mktime(&local);
    if (time == static_cast<std::time_t>(-1)) return std::nullopt;
    return time;
}
