#include "Common/AccountDays.h"

#include <ctime>

#include "Common/CppSQLite3DB.h"
#include "Common/CppSQLite3Query.h"

namespace {

std::string LocalDay(const std::tm& local) {
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// The account's name now, for the statements below.
constexpr char kNameOf[] = "(select username from accounts where rowid = ?1)";

}  // namespace

void EnsureAccountDays(CppSQLite3DB& db) {
    db.execDML(kAccountDaysSchema);
}

std::string TrafficDayOf(int64_t unixTime) {
    const std::time_t time = static_cast<std::time_t>(unixTime);
    std::tm local{};
    ::localtime_r(&time, &local);
    return LocalDay(local);
}

std::string FirstKeptDay(int64_t nowUnix) {
    const std::time_t time = static_cast<std::time_t>(nowUnix);
    std::tm local{};
    ::localtime_r(&time, &local);
    // Noon, so that no daylight-saving change moves the result into another day.
    local.tm_mday -= kKeptTrafficDays - 1;
    local.tm_hour = 12;
    local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    std::mktime(&local);  // carries into the month and year before
    return LocalDay(local);
}

void AddDayTraffic(CppSQLite3DB& db, int64_t account, const std::string& day, uint64_t bytesUp,
                   uint64_t bytesDown) {
    db.execDML(
        (std::string("insert into account_days (username, day, bytes_up, bytes_down) "
                     "select ") +
         kNameOf +
         ", ?2, ?3, ?4 where exists (select 1 from accounts where rowid = ?1) "
         "on conflict (username, day) do update set "
         "bytes_up = bytes_up + excluded.bytes_up, bytes_down = bytes_down + excluded.bytes_down")
            .c_str(),
        {std::to_string(account), day, std::to_string(bytesUp), std::to_string(bytesDown)});
}

void TrimAccountDays(CppSQLite3DB& db, const std::string& firstKept, int64_t account) {
    if (!db.tableExists("account_days")) return;
    if (account == 0) {
        db.execDML("delete from account_days where day < ?", {firstKept});
        return;
    }
    db.execDML((std::string("delete from account_days where username = ") + kNameOf +
                " and (day < ?2 or day not in (select day from account_days where username = " +
                kNameOf + " order by day desc limit ?3))")
                   .c_str(),
               {std::to_string(account), firstKept, std::to_string(kKeptTrafficDays)});
}

std::vector<DayTraffic> ReadAccountDays(CppSQLite3DB& db, const std::string& user,
                                        const std::string& firstKept) {
    std::vector<DayTraffic> days;
    if (!db.tableExists("account_days")) return days;
    // The newest kept days, then turned oldest first.
    for (auto row = db.execQuery(
             "select day, bytes_up, bytes_down from account_days where username = ? and day >= ? "
             "order by day desc limit ?",
             {user, firstKept, std::to_string(kKeptTrafficDays)});
         !row.eof(); row.nextRow()) {
        days.push_back({row.getStringField(0), static_cast<uint64_t>(row.getInt64Field(1)),
                        static_cast<uint64_t>(row.getInt64Field(2))});
    }
    return {days.rbegin(), days.rend()};
}
