#pragma once
// How an account's limits read in the account lists of every console.
#include <cstdint>
#include <optional>
#include <string>

#include "Common/AccountLimits.h"
#include "Common/UiLanguage.h"

// The string id of a state: "Enabled", "Disabled", "Expired", "Quota used".
int AccountStateTextId(AccountState state);
// "2026-12-31": the last day of use.
std::string CalendarDayText(const CalendarDay& day);
// The last day of use of a stored expiry, or "Never".
std::string LastDayText(const std::optional<int64_t>& expires, res::UiLanguage language);
// "1.50 MB / 10.00 GB", or "1.50 MB / unlimited" without a quota.
std::string MonthTrafficText(uint64_t usedThisMonth, const std::optional<uint64_t>& quota,
                             res::UiLanguage language);
