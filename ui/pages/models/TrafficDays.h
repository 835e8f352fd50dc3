#pragma once
// An account's traffic per day as the account page charts it: the last days up to today, one
// entry each, from the server's rows (which name only the days that moved bytes).
#include <cstdint>
#include <string>
#include <vector>

#include "Common/AccountLimits.h"
#include "server_link/Replies.h"

// One charted day. (DayTraffic is main.db's row: one name for two types broke the
// one-definition rule in every program that links both.)
struct DayBytes {
    CalendarDay day;
    uint64_t bytes = 0;  // both directions
};

// The `days` days ending with `today`, oldest first; a day without a row has 0 bytes, rows of
// other days or with an unreadable date are left out, and two rows of one day add up.
std::vector<DayBytes> LastDays(const std::vector<TrafficDay>& rows, const CalendarDay& today,
                               int days);

// The unit the chart's bars are given in so that the largest reads as a short number: its
// divisor (1, 1024, 1024², 1024³) and name ("B", "KB", "MB", "GB").
struct TrafficUnit {
    double divisor = 1;
    const char* name = "B";
};
TrafficUnit UnitFor(uint64_t largest);
