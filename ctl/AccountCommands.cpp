// accounts, account add, account modify, account delete.
#include <charconv>
#include <ctime>

#include "Common/AccountFields.h"
#include "Common/AccountTexts.h"
#include "Common/UserConf.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "ctl/Password.h"
#include "ctl/Times.h"

namespace {

CalendarDay LastDay(const std::string& text) {
    const std::optional<CalendarDay> day = ParseDay(text);
    if (!day) Refuse(res::IDS_CTL_BAD_DATE, {text});
    return *day;
}

// A whole number of units from 1 to kLimitAmountMax, in bytes.
uint64_t ParseAmount(const std::string& text, const char* option, uint64_t unitBytes) {
    int64_t units = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), units);
    if (error != std::errc() || end != text.data() + text.size() || units < 1 ||
        units > kLimitAmountMax)
        Refuse(res::IDS_CTL_BAD_AMOUNT, {option, std::to_string(kLimitAmountMax)});
    return static_cast<uint64_t>(units) * unitBytes;
}

// The limits after the request's changes to `limits`; every value checked.
AccountLimits ChangedLimits(AccountLimits limits, const AccountRequest& request) {
    if (request.expires) limits.expires = ExpiryForLastDay(LastDay(*request.expires));
    if (request.noExpiry) limits.expires.reset();
    if (request.quotaMb)
        limits.monthlyBytes = ParseAmount(*request.quotaMb, "--quota-mb", kQuotaUnitBytes);
    if (request.noQuota) limits.monthlyBytes.reset();
    if (request.bandwidthKbs)
        limits.bandwidth =
            ParseAmount(*request.bandwidthKbs, "--bandwidth-kbs", kBandwidthUnitBytes);
    if (request.noBandwidth) limits.bandwidth.reset();
    if (request.enabled) limits.enabled = *request.enabled;
    return limits;
}

void RequireUsableName(const std::string& name) {
    // Name checks alone: a modify that keeps the password.
    if (const int problem = AccountFieldsProblem(name, "", "", AccountFieldsPurpose::kModify))
        Refuse(problem);
}

const UserAccount& FindAccount(const std::string& name) {
    UserConf& users = UserConf::instance();
    users.load();
    const auto found = users.accounts.find(name);
    if (found == users.accounts.end()) Refuse(res::IDS_CTL_NO_ACCOUNT, {name});
    return found->second;
}

[[noreturn]] void RefuseChange(AccountChange change, const std::string& name) {
    switch (change) {
        case AccountChange::kNameTaken:
            Refuse(res::IDS_USER_NAME_OCCUPIED);
        case AccountChange::kGone:
            Refuse(res::IDS_CTL_NO_ACCOUNT, {name});
        default:
            Refuse(res::TextOf(res::Fixed::OperationFailedText));
    }
}

}  // namespace

void ListAccounts() {
    UserConf& users = UserConf::instance();
    users.load();
    const int64_t now = std::time(nullptr);
    if (Options().json) {
        Json::Value list(Json::arrayValue);
        for (const auto& [name, account] : users.accounts) {
            const AccountLimits& limits = account.limits;
            Json::Value item(Json::objectValue);
            item["name"] = name;
            item["create_time"] = account.createTime;
            item["enabled"] = limits.enabled;
            static constexpr const char* kStates[] = {"enabled", "disabled", "expired",
                                                      "quota-used"};
            item["state"] = kStates[static_cast<int>(StateOf(limits, account.usedThisMonth, now))];
            item["last_day"] =
                limits.expires ? Json::Value(CalendarDayText(LastDayBeforeExpiry(*limits.expires)))
                               : Json::Value();
            item["monthly_quota_bytes"] = limits.monthlyBytes
                                              ? Json::Value(Json::UInt64(*limits.monthlyBytes))
                                              : Json::Value();
            item["bandwidth_bytes_per_second"] =
                limits.bandwidth ? Json::Value(Json::UInt64(*limits.bandwidth)) : Json::Value();
            item["used_this_month_bytes"] = Json::UInt64(account.usedThisMonth);
            list.append(item);
        }
        PrintJson(list);
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& [name, account] : users.accounts) {
        const AccountLimits& limits = account.limits;
        rows.push_back({name, account.createTime,
                        Text(AccountStateTextId(StateOf(limits, account.usedThisMonth, now))),
                        LastDayText(limits.expires, Language()),
                        MonthTrafficText(account.usedThisMonth, limits.monthlyBytes, Language())});
    }
    PrintTable({Text(res::IDS_USER_NAME), Text(res::IDS_CREATE_TIME), Text(res::IDS_COL_STATE),
                Text(res::IDS_COL_EXPIRES), Text(res::IDS_COL_MONTH_TRAFFIC)},
               rows);
}

void AddAccount(const AccountRequest& request) {
    RequireUsableName(request.name);
    const AccountLimits limits = ChangedLimits({}, request);
    const TypedPassword typed = ReadPassword(request.passwordStdin);
    if (const int problem = AccountFieldsProblem(request.name, typed.password, typed.repeat,
                                                 AccountFieldsPurpose::kAdd))
        Refuse(problem);
    UserConf& users = UserConf::instance();
    const AccountChange added = users.addAccount(request.name, typed.password);
    if (added != AccountChange::kDone) RefuseChange(added, request.name);
    if (limits != AccountLimits{}) {
        const int64_t rowid = users.accounts.at(request.name).rowid;
        // All or nothing: an account without the limits asked for is taken back.
        if (users.setLimits(rowid, limits) != AccountChange::kDone) {
            users.deleteAccount(rowid);
            RefuseChange(AccountChange::kFailed, request.name);
        }
    }
    ApplyConfiguration();
    Say(Text(res::IDS_ADDED_SUCCESSFULLY));
}

void ModifyAccount(const AccountRequest& request) {
    RequireUsableName(request.name);
    const UserAccount account = FindAccount(request.name);
    const AccountLimits limits = ChangedLimits(account.limits, request);
    TypedPassword typed;
    if (request.newPassword) {
        typed = ReadPassword(request.passwordStdin);
        if (const int problem = AccountFieldsProblem(request.name, typed.password, typed.repeat,
                                                     AccountFieldsPurpose::kAdd))
            Refuse(problem);
    }
    UserConf& users = UserConf::instance();
    if (request.newPassword) {
        const AccountChange changed =
            users.modifyAccount(account.rowid, request.name, typed.password);
        if (changed != AccountChange::kDone) RefuseChange(changed, request.name);
    }
    if (limits != account.limits) {
        const AccountChange changed = users.setLimits(account.rowid, limits);
        if (changed != AccountChange::kDone) RefuseChange(changed, request.name);
    }
    ApplyConfiguration();
    Say(Text(res::IDS_MODIFIED_SUCCESSFULLY));
}

void DeleteAccount(const std::string& name) {
    const int64_t rowid = FindAccount(name).rowid;
    UserConf& users = UserConf::instance();
    users.deleteAccount(rowid);  // reloads: an account still listed was not deleted
    if (users.accounts.contains(name)) RefuseChange(AccountChange::kFailed, name);
    ApplyConfiguration();
    Say(Text(res::IDS_CTL_DELETED));
}
