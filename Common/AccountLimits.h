#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class CppSQLite3DB;

// What one account may use. An account without a stored row has these defaults: enabled and
// without limits.
struct AccountLimits {
    bool enabled = true;
    std::optional<int64_t> expires;        // Unix time from which its logins are refused
                                           // (0:00 after its last day: ExpiryForLastDay)
    std::optional<uint64_t> monthlyBytes;  // traffic per calendar month, both directions
    std::optional<uint64_t> bandwidth;     // bytes per second, both directions together
    bool operator==(const AccountLimits&) const = default;
};

// The expiry as the administrator gives and reads it: the last calendar day (local time) on
// which the account works. What is stored is the instant from which it is refused, 0:00 of the
// following day; a stored instant reads back as the day before it. Rows stored as 0:00 of a
// day keep their meaning: refused from that day on, so the last day shown is the one before.
struct CalendarDay {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    bool operator==(const CalendarDay&) const = default;
};
int64_t ExpiryForLastDay(const CalendarDay& lastDay);
CalendarDay LastDayBeforeExpiry(int64_t expires);

// What the limits make of an account with `usedThisMonth` bytes at `nowUnix`: the one rule, in
// its order, by which the server refuses logins and ends sessions and the console shows state.
enum class AccountState { kEnabled, kDisabled, kExpired, kQuotaUsed };
AccountState StateOf(const AccountLimits& limits, uint64_t usedThisMonth, int64_t nowUnix);

// The limits and the monthly traffic live in tables of their own beside `accounts`, keyed by
// the account's rowid, so `accounts` keeps its columns and rows exactly as before; a trigger
// deletes an account's rows with the account. The SQL is Common/schema/account_limits.sql,
// compiled in.
extern const char kAccountLimitsSchema[];

// Creates the tables and the trigger where they are missing (an older main.db is upgraded in
// place; no row of it changes). Throws CppSQLite3Exception.
void EnsureAccountLimits(CppSQLite3DB& db);
// The stored limits by account rowid (accounts without a row are left out; a file without
// the table has none).
std::map<int64_t, AccountLimits> ReadAccountLimits(CppSQLite3DB& db);
void StoreAccountLimits(CppSQLite3DB& db, int64_t account, const AccountLimits& limits);

// The calendar month of a Unix time in local time, as the traffic rows name it: "2026-12".
std::string TrafficMonth(int64_t unixTime);
// Bytes each account moved in `month`, by rowid.
std::map<int64_t, uint64_t> ReadMonthTraffic(CppSQLite3DB& db, const std::string& month);
// Adds `bytes` to an account's month; nothing when the account no longer exists.
void AddMonthTraffic(CppSQLite3DB& db, int64_t account, const std::string& month, uint64_t bytes);
