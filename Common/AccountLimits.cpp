#include "Common/AccountLimits.h"

#include <ctime>
#include <string_view>

#include "Common/CppSQLite3DB.h"
#include "Common/CppSQLite3Query.h"

namespace {

template <class T>
std::optional<T> Optional(CppSQLite3Query& row, int field) {
    if (row.fieldDataType(field) == CppSQLite3Query::kNullStorageClass) return std::nullopt;
    return static_cast<T>(row.getInt64Field(field));
}

template <class T>
std::string TextOrNull(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string();
}

}  // namespace

int64_t ExpiryForLastDay(const CalendarDay& lastDay) {
    std::tm local{};
    local.tm_year = lastDay.year - 1900;
    local.tm_mon = lastDay.month - 1;
    local.tm_mday = lastDay.day + 1;  // mktime carries into the next month or year
    local.tm_isdst = -1;              // whatever daylight saving says for that night
    return static_cast<int64_t>(std::mktime(&local));
}

CalendarDay LastDayBeforeExpiry(int64_t expires) {
    const std::time_t lastSecond = static_cast<std::time_t>(expires - 1);
    std::tm local{};
    ::localtime_r(&lastSecond, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

AccountState StateOf(const AccountLimits& limits, uint64_t usedThisMonth, int64_t nowUnix) {
    if (!limits.enabled) return AccountState::kDisabled;
    if (limits.expires && nowUnix >= *limits.expires) return AccountState::kExpired;
    if (limits.monthlyBytes && usedThisMonth >= *limits.monthlyBytes) {
        return AccountState::kQuotaUsed;
    }
    return AccountState::kEnabled;
}

void EnsureAccountLimits(CppSQLite3DB& db) {
    db.execDML(kAccountLimitsSchema);
}

std::map<int64_t, AccountLimits> ReadAccountLimits(CppSQLite3DB& db) {
    std::map<int64_t, AccountLimits> limits;
    // Readers do not create the tables: a file that has none has no limits and no traffic yet.
    if (!db.tableExists("account_limits")) return limits;
    for (auto row = db.execQuery(
             "select account, enabled, expires, monthly_bytes, bandwidth from account_limits");
         !row.eof(); row.nextRow()) {
        limits[row.getInt64Field(0)] =
            AccountLimits{row.getInt64Field(1) != 0, Optional<int64_t>(row, 2),
                          Optional<uint64_t>(row, 3), Optional<uint64_t>(row, 4)};
    }
    return limits;
}

void StoreAccountLimits(CppSQLite3DB& db, int64_t account, const AccountLimits& limits) {
    // nullif: an absent limit is stored as null, not as an empty text.
    db.execDML(
        "insert or replace into account_limits "
        "(account, enabled, expires, monthly_bytes, bandwidth) values "
        "(?, ?, nullif(?, ''), nullif(?, ''), nullif(?, ''))",
        {std::to_string(account), limits.enabled ? "1" : "0", TextOrNull(limits.expires),
         TextOrNull(limits.monthlyBytes), TextOrNull(limits.bandwidth)});
}

std::string TrafficMonth(int64_t unixTime) {
    const std::time_t time = static_cast<std::time_t>(unixTime);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m", &local);
    return text;
}

std::map<int64_t, uint64_t> ReadMonthTraffic(CppSQLite3DB& db, const std::string& month) {
    std::map<int64_t, uint64_t> traffic;
    if (!db.tableExists("account_traffic")) return traffic;
    for (auto row =
             db.execQuery("select account, bytes from account_traffic where month=?", {month});
         !row.eof(); row.nextRow()) {
        traffic[row.getInt64Field(0)] = static_cast<uint64_t>(row.getInt64Field(1));
    }
    return traffic;
}

void AddMonthTraffic(CppSQLite3DB& db, int64_t account, const std::string& month, uint64_t bytes) {
    db.execDML(
        "insert into account_traffic (account, month, bytes) "
        "select ?1, ?2, ?3 where exists (select 1 from accounts where rowid = ?1) "
        "on conflict (account, month) do update set bytes = bytes + excluded.bytes",
        {std::to_string(account), month, std::to_string(bytes)});
}
