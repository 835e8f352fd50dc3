// The rules and texts both consoles take from here: the text table's arguments, the account fields
// and the texts of accounts and networks.
#include <gtest/gtest.h>

#include <string>

#include "Common/AccountFields.h"
#include "Common/AccountTexts.h"
#include "Common/NetworkListText.h"
#include "Common/Texts.h"

namespace {

using res::UiLanguage;

TEST(SharedTexts, ArgumentsAreReplacedInOnePass) {
    EXPECT_EQ(res::FormatText("%1 and %2", {"a%2", "b"}), "a%2 and b");
    EXPECT_EQ(res::FormatText("%2%1%3", {"x", "y"}), "yx%3");  // no third argument
    EXPECT_EQ(res::FormatText("100%", {"x"}), "100%");
    EXPECT_EQ(res::TextOf(99999, UiLanguage::English), nullptr);
}

TEST(AccountFields, ChecksInOrderAndCountsCharactersAsATextField) {
    using enum AccountFieldsPurpose;
    const std::string twenty(20, 'a');
    struct Case {
        std::string name, password, repeat;
        AccountFieldsPurpose purpose;
        int problem;
    } cases[] = {
        {"", "", "", kAdd, res::IDS_USER_NAME_EMPTY},
        {"a:b", "p", "p", kAdd, res::IDS_USER_NAME_INVALID},
        {"a\tb", "p", "p", kAdd, res::IDS_USER_NAME_INVALID},
        {"a\xC2\x85", "p", "p", kAdd, res::IDS_USER_NAME_INVALID},  // U+0085, a C1 control
        {"a\xC0\xAF", "p", "p", kAdd, res::IDS_USER_NAME_INVALID},  // overlong, not UTF-8
        {"a\xE6", "p", "p", kAdd, res::IDS_USER_NAME_INVALID},      // cut short
        {twenty + "b", "p", "p", kAdd, res::IDS_ACCOUNT_FIELDS_HINT},
        {twenty, "p", "", kAdd, res::IDS_PASSWORD_EMPTY},
        {"bob", "p", "q", kAdd, res::IDS_PASSWORDS_DIFFER},
        {"bob", twenty + "x", twenty + "x", kAdd, res::IDS_ACCOUNT_FIELDS_HINT},
        {"bob", "", "", kAdd, res::IDS_PASSWORD_EMPTY},
        {"bob", "", "", kModify, 0},  // keeps the password
        {"张三", "密码", "密码", kAdd, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AccountFieldsProblem(c.name, c.password, c.repeat, c.purpose), c.problem)
            << c.name << "/" << c.password;
    }
    // Twenty Chinese characters fit, ten beyond U+FFFF (two units each) fit, eleven do not.
    std::string chinese, emoji;
    for (int i = 0; i < 20; ++i) chinese += "张";
    for (int i = 0; i < 10; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(AccountFieldLength(chinese), 20);
    EXPECT_EQ(AccountFieldLength(emoji), 20);
    EXPECT_EQ(AccountFieldsProblem(emoji + "\xF0\x9F\x98\x80", "p", "p", kAdd),
              res::IDS_ACCOUNT_FIELDS_HINT);
}

TEST(AccountTexts, LastDayAndTraffic) {
    const int64_t expires = ExpiryForLastDay({2026, 2, 28});
    EXPECT_EQ(LastDayText(expires, UiLanguage::English), "2026-02-28");
    EXPECT_EQ(LastDayText(std::nullopt, UiLanguage::English), "Never");
    EXPECT_EQ(MonthTrafficText(1536, std::nullopt, UiLanguage::English), "1.50 KB / unlimited");
    EXPECT_EQ(MonthTrafficText(0, uint64_t{1} << 20, UiLanguage::Chinese), "0 B / 1.00 MB");
}

TEST(NetworkListText, NamesTheLineAndShowsTheEntryAsTyped) {
    EXPECT_EQ(NetworkListProblem(CheckNetworkList("10.0.0.0/8\n%3x"), UiLanguage::English),
              "Line 2, \"%3x\": not an IPv4 or IPv6 address (for example 192.168.0.0/16 or "
              "fd00::/8).");
    EXPECT_EQ(NetworkListProblem(CheckNetworkList("fd00::/129"), UiLanguage::English),
              "Line 1, \"fd00::/129\": the prefix length after \"/\" must be a number from 0 to "
              "128.");
    // Host bits and an empty list: the command line's refusals (CtlTest).
    EXPECT_EQ(NetworkListProblem(CheckNetworkList("::1"), UiLanguage::English), "");
}

}  // namespace
