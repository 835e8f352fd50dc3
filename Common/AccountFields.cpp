#include "Common/AccountFields.h"

#include "Common/Texts.h"

namespace {

// Calls `each` with every code point of UTF-8 `text`; false when it is not UTF-8 (overlong
// forms, surrogates and values beyond U+10FFFF included).
template <typename Each>
bool ForEachCodePoint(std::string_view text, Each each) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else if (lead >= 0x80) {
            return false;
        }
        if (text.size() - i <= static_cast<size_t>(extra)) return false;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (point < least[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        each(point);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

bool TooLong(std::string_view text) {
    return AccountFieldLength(text) > kAccountFieldMaxChars;
}

}  // namespace

int AccountFieldLength(std::string_view text) {
    int units = 0;
    if (!ForEachCodePoint(text, [&units](char32_t point) { units += point > 0xFFFF ? 2 : 1; }))
        return -1;
    return units;
}

bool UsableUserName(std::string_view userName) {
    bool usable = true;
    const bool utf8 = ForEachCodePoint(userName, [&usable](char32_t point) {
        usable = usable && point != ':' && point >= 0x20 && !(point >= 0x7F && point <= 0x9F);
    });
    return utf8 && usable;
}

int AccountFieldsProblem(std::string_view userName, std::string_view password,
                         std::string_view repeat, AccountFieldsPurpose purpose) {
    if (userName.empty()) return res::IDS_USER_NAME_EMPTY;
    if (!UsableUserName(userName)) return res::IDS_USER_NAME_INVALID;
    if (TooLong(userName)) return res::IDS_ACCOUNT_FIELDS_HINT;
    const bool keepPassword =
        purpose == AccountFieldsPurpose::kModify && password.empty() && repeat.empty();
    if (keepPassword) return 0;
    if (password.empty() || repeat.empty()) return res::IDS_PASSWORD_EMPTY;
    if (password != repeat) return res::IDS_PASSWORDS_DIFFER;
    if (AccountFieldLength(password) < 0 || TooLong(password)) return res::IDS_ACCOUNT_FIELDS_HINT;
    return 0;
}
