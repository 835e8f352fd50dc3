#pragma once
// Days and times as an administrator types them on the command line.
#include <cstdint>
#include <optional>
#include <string>

#include "Common/AccountLimits.h"

// "YYYY-MM-DD" exactly, a day of the calendar from 1970 on; nullopt otherwise.
std::optional<CalendarDay> ParseDay(const std::string& text);
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" (or with "T") in local time, or "@" and seconds of
// Unix time. A day alone is its first second, or with `endOfDay` the first second of the day
// after. nullopt when it names no time.
std::optional<int64_t> ParseTime(const std::string& text, bool endOfDay);
