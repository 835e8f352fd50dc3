#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// A local date and time. Its text form, shared with the server, is
// year-month-day hour:minute:second without zero padding ("2025-3-3 9:5:7"); the milliseconds
// are not written.
struct DateTime {
    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint16_t milliseconds = 0;

    // The local clock now.
    static DateTime Now();
    // Seconds of Unix time in local time; a leap second (60) is shown as 59. 64-bit, so times
    // after January 2038 show as themselves.
    static DateTime FromUnixTime(int64_t seconds);
    // A broken-down local time (tm_year from 1900, tm_mon from 0).
    static DateTime FromLocalTime(const std::tm& local, uint16_t milliseconds = 0);

    std::string ToString() const;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};
