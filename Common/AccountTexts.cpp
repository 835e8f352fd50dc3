#include "Common/AccountTexts.h"

#include <cstdio>

#include "Common/ByteCount.h"
#include "Common/Texts.h"

int AccountStateTextId(AccountState state) {
    switch (state) {
        case AccountState::kDisabled:
            return res::IDS_STATE_DISABLED;
        case AccountState::kExpired:
            return res::IDS_STATE_EXPIRED;
        case AccountState::kQuotaUsed:
            return res::IDS_STATE_QUOTA_USED;
        case AccountState::kEnabled:
            break;
    }
    return res::IDS_STATE_ENABLED;
}

std::string CalendarDayText(const CalendarDay& day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", day.year, day.month, day.day);
    return text;
}

std::string LastDayText(const std::optional<int64_t>& expires, res::UiLanguage language) {
    return expires ? CalendarDayText(LastDayBeforeExpiry(*expires))
                   : res::TextOf(res::IDS_NEVER, language);
}

std::string MonthTrafficText(uint64_t usedThisMonth, const std::optional<uint64_t>& quota,
                             res::UiLanguage language) {
    return FormatBytes(usedThisMonth) + " / " +
           (quota ? FormatBytes(*quota) : res::TextOf(res::IDS_UNLIMITED, language));
}
