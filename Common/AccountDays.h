#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CppSQLite3DB;

// Each account's bytes per day, in main.db's table account_days (Common/schema/account_days.sql,
// compiled in), keyed by the account's user name and the local day; days older than
// kKeptTrafficDays are deleted, so an account has at most that many rows.
extern const char kAccountDaysSchema[];
inline constexpr int kKeptTrafficDays = 90;

// Creates the table and its triggers where they are missing. Throws CppSQLite3Exception.
void EnsureAccountDays(CppSQLite3DB& db);

// The local day of a Unix time as the rows name it: "2026-12-08".
std::string TrafficDayOf(int64_t unixTime);
// The oldest day kept at `nowUnix`: kKeptTrafficDays - 1 calendar days before today.
std::string FirstKeptDay(int64_t nowUnix);

struct DayTraffic {
    std::string day;
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
    bool operator==(const DayTraffic&) const = default;
};

// Adds to the account's (by rowid) day, under the name it has now; nothing when the account no
// longer exists.
void AddDayTraffic(CppSQLite3DB& db, int64_t account, const std::string& day, uint64_t bytesUp,
                   uint64_t bytesDown);
// Deletes the days before `firstKept`: of one account (by rowid), or of all when `account` is 0.
// Of one account, also all but its newest kKeptTrafficDays days (days ahead of the clock,
// written before it was set back, count too). Nothing in a file without the table.
void TrimAccountDays(CppSQLite3DB& db, const std::string& firstKept, int64_t account = 0);
// The days of the account named `user` from `firstKept` on, oldest first; none for an unknown
// name (or a file without the table).
std::vector<DayTraffic> ReadAccountDays(CppSQLite3DB& db, const std::string& user,
                                        const std::string& firstKept);
