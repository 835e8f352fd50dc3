#include "Common/UserConf.h"

#include <array>
#include <charconv>
#include <ctime>
#include <optional>

#include "Common/AccountPasswords.h"
#include "Common/Configuration.h"
#include "Common/Database.h"
#include "Common/DateTime.h"
#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"
#include "Common/SourcePath.h"
#include "Common/SystemConf.h"

namespace {

bool NameTaken(CppSQLite3DB& db, std::string_view userName) {
    CppSQLite3Query count =
        db.execQuery("select count(1) as total_count from accounts where username=?", {userName});
    if (count.getIntField("total_count") >= 1) return true;
    CppSQLite3Query row =
        db.execQuery("select rowid from accounts where username=? limit 1", {userName});
    return row.fieldDataType(0) != CppSQLite3Query::kNullStorageClass;
}

int64_t LastInsertRowid(CppSQLite3DB& db) {
    return db.execQuery("select last_insert_rowid()").getInt64Field(0);
}

// Whether an account other than `rowid` holds the name.
bool NameTakenByAnother(CppSQLite3DB& db, int64_t rowid, std::string_view userName) {
    const std::string sql =
        SqlFormat("select rowid from accounts where username=? and rowid<>%lld limit 1",
                  static_cast<long long>(rowid));
    return !db.execQuery(sql.c_str(), {userName}).eof();
}

using TimeFields = std::array<unsigned long, 6>;

// "year-month-day hour:minute:second" with one or more digits per number, nothing else.
std::optional<TimeFields> ParseCreateTime(std::string_view text) {
    static constexpr char kSeparators[] = {'-', '-', ' ', ':', ':', '\0'};
    TimeFields fields{};
    const char* p = text.data();
    const char* const end = p + text.size();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto [next, error] = std::from_chars(p, end, fields[i]);
        if (error != std::errc() || next == p) return std::nullopt;
        p = next;
        if (kSeparators[i] == '\0') break;
        if (p == end || *p != kSeparators[i]) return std::nullopt;
        ++p;
    }
    if (p != end) return std::nullopt;
    return fields;
}

}  // namespace

int UserConf::load() {
    UseDatabase(
        [this](CppSQLite3DB& db) {
            // A missing row is stored as 0 and read so, not as what memory held before.
            anonymousAllow =
                LoadConfiguration(db, SystemConf::instance().fallback()).anonymousAllowed ? 1 : 0;
            LOG_FROM_ROOT(WARNING) << "the proxy server allow all all users: " << anonymousAllow;

            accounts.clear();
            for (CppSQLite3Query row =
                     db.execQuery("select rowid,username,password,create_time from accounts");
                 !row.eof(); row.nextRow()) {
                accounts.try_emplace(row.getStringField("username"),
                                     UserAccount{row.getInt64Field("rowid"),
                                                 row.getStringField("password"),
                                                 row.getStringField("create_time"),
                                                 {},
                                                 0});
            }
            LOG_FROM_ROOT(WARNING) << "the proxy server all allowed users: " << accounts.size();
            const auto limits = ReadAccountLimits(db);
            const auto used = ReadMonthTraffic(db, TrafficMonth(std::time(nullptr)));
            for (auto& [name, account] : accounts) {
                if (auto it = limits.find(account.rowid); it != limits.end()) {
                    account.limits = it->second;
                }
                if (auto it = used.find(account.rowid); it != used.end()) {
                    account.usedThisMonth = it->second;
                }
            }
        },
        DbFailure::kLogError);
    return 1;
}

bool UserConf::saveAnonymous() {
    return UseDatabase([this](CppSQLite3DB& db) {
        UpdateConfiguration(
            db, [this](Configuration& config) { config.anonymousAllowed = anonymousAllow == 1; });
    });
}

std::optional<StoredPassword> MakeStoredPassword(std::string_view password) {
    std::optional<std::string> hash = MakePasswordHash(password);
    if (!hash) return std::nullopt;
    return StoredPassword{std::to_string(PasswordDigest(password)), std::move(*hash)};
}

AccountChange UserConf::addAccount(std::string_view userName, std::string_view password) {
    const std::optional<StoredPassword> stored = MakeStoredPassword(password);
    return stored ? addAccount(userName, *stored) : AccountChange::kFailed;
}

AccountChange UserConf::modifyAccount(int64_t rowid, std::string_view userName,
                                      std::string_view password) {
    if (password.empty()) return modifyAccount(rowid, userName, std::nullopt);
    const std::optional<StoredPassword> stored = MakeStoredPassword(password);
    return stored ? modifyAccount(rowid, userName, stored) : AccountChange::kFailed;
}

AccountChange UserConf::addAccount(std::string_view userName, const StoredPassword& password) {
    AccountChange result = AccountChange::kFailed;
    UseDatabase([&](CppSQLite3DB& db) {
        if (NameTaken(db, userName)) {
            result = AccountChange::kNameTaken;
            return;
        }
        const std::string now = DateTime::Now().ToString();
        // The account and its hash are written together or not at all.
        db.execDML("begin");
        EnsureAccountPasswords(db);
        const bool added =
            db.execDML("insert into accounts (username, password, create_time) values (?, ?, ?)",
                       {userName, password.digest, now}) > 0;
        if (added) StorePasswordHash(db, LastInsertRowid(db), password.hash);
        db.execDML("commit");
        if (added) {
            result = AccountChange::kDone;
            load();  // nested: this thread holds the database lock already
        }
    });
    return result;
}

AccountChange UserConf::modifyAccount(int64_t rowid, std::string_view userName,
                                      const std::optional<StoredPassword>& password) {
    const auto id = static_cast<long long>(rowid);
    AccountChange result = AccountChange::kFailed;
    UseDatabase([&](CppSQLite3DB& db) {
        if (NameTakenByAnother(db, rowid, userName)) {
            result = AccountChange::kNameTaken;
            return;
        }
        db.execDML("begin");
        EnsureAccountPasswords(db);
        const int changed =
            password
                ? db.execDML(
                      SqlFormat("update accounts set username=?, password=? where rowid=%lld", id)
                          .c_str(),
                      {userName, password->digest})
                : db.execDML(
                      SqlFormat("update accounts set username=? where rowid=%lld", id).c_str(),
                      {userName});
        if (changed > 0 && password) StorePasswordHash(db, rowid, password->hash);
        db.execDML("commit");
        result = changed > 0 ? AccountChange::kDone : AccountChange::kGone;
        load();
    });
    return result;
}

void UserConf::deleteAccount(int64_t rowid) {
    UseDatabase([&](CppSQLite3DB& db) {
        db.execDML(SqlFormat("delete from accounts where rowid=%lld", static_cast<long long>(rowid))
                       .c_str());
        load();
    });
}

AccountChange UserConf::setLimits(int64_t rowid, const AccountLimits& limits) {
    AccountChange result = AccountChange::kFailed;
    UseDatabase([&](CppSQLite3DB& db) {
        db.execDML("begin");
        EnsureAccountLimits(db);
        const bool exists = !db.execQuery(SqlFormat("select 1 from accounts where rowid=%lld",
                                                    static_cast<long long>(rowid))
                                              .c_str())
                                 .eof();
        if (exists) StoreAccountLimits(db, rowid, limits);
        db.execDML("commit");
        result = exists ? AccountChange::kDone : AccountChange::kGone;
        load();
    });
    return result;
}

int CompareCreateTimes(std::string_view a, std::string_view b) {
    const std::optional<TimeFields> ta = ParseCreateTime(a), tb = ParseCreateTime(b);
    if (ta && tb) return *ta < *tb ? -1 : (*tb < *ta ? 1 : 0);
    if (ta || tb) return ta ? 1 : -1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}
