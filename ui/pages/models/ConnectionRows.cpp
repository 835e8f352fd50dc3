#include "ui/pages/models/ConnectionRows.h"

#include <algorithm>

#include "Common/RecordText.h"
#include "Common/Texts.h"

namespace {

// Thousands apart by a space, as the count reads in both languages: "1 234".
std::string Grouped(uint64_t number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
        grouped += digits[i];
    }
    return grouped;
}

std::string Format(int id, std::initializer_list<std::string_view> args, res::UiLanguage language) {
    return res::FormatText(res::TextOf(id, language), args);
}

}  // namespace

std::vector<ConnectionRow> MatchingConnections(const std::vector<ConnectionRow>& rows,
                                               std::string_view filter) {
    const std::string folded = FoldFilter(filter);
    std::vector<ConnectionRow> matching;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(matching), [&](const auto& row) {
        return ContainsFolded(row.user, folded) || ContainsFolded(row.ip, folded) ||
               ContainsFolded(row.destination, folded);
    });
    return matching;
}

size_t ConnectionsNamed(const std::vector<ConnectionRow>& rows, control::DisconnectBy by,
                        std::string_view value) {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [&](const auto& row) {
        switch (by) {
            case control::DisconnectBy::kUser:
                return !row.user.empty() && row.user == value;
            case control::DisconnectBy::kIp:
                return row.ip == value;
            case control::DisconnectBy::kId:
                return std::to_string(row.id) == value;
        }
        return false;
    }));
}

std::string CutQuestion(CutKind kind, size_t count, std::string_view first, std::string_view second,
                        res::UiLanguage language) {
    const bool one = count == 1;
    const std::string n = Grouped(count);
    switch (kind) {
        case CutKind::kSelected:
            return one ? Format(res::IDS_CONFIRM_DISCONNECT_ONE, {first, second}, language)
                       : Format(res::IDS_CONFIRM_DISCONNECT_MANY, {n}, language);
        case CutKind::kUser:
            return Format(one ? res::IDS_CONFIRM_USER_ONE : res::IDS_CONFIRM_USER_MANY, {n, first},
                          language);
        case CutKind::kAddress:
            return Format(one ? res::IDS_CONFIRM_ADDRESS_ONE : res::IDS_CONFIRM_ADDRESS_MANY,
                          {n, first}, language);
        case CutKind::kDisableAccount:
            return Format(one ? res::IDS_CONFIRM_DISABLE_ONE : res::IDS_CONFIRM_DISABLE_MANY,
                          {n, first}, language);
    }
    return {};
}

std::string ConnectionCountText(size_t listed, uint64_t total, res::UiLanguage language) {
    if (total > listed) {
        return Format(res::IDS_CONNECTION_PARTIAL, {Grouped(listed), Grouped(total)}, language);
    }
    return Format(res::IDS_CONNECTION_COUNT, {Grouped(listed)}, language);
}
