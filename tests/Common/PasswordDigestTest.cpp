#include <crypt.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"

namespace {

// Digests the server compares logins against: bytes above 0x7F count as negative values, the
// high nibble folds back after each byte, bit 31 is always clear, and a zero byte counts.
class Digest : public testing::TestWithParam<std::pair<std::string, uint32_t>> {};
TEST_P(Digest, MatchesTheStoredDigest) {
    EXPECT_EQ(PasswordDigest(GetParam().first), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(
    Passwords, Digest,
    testing::Values(std::pair("", 0u), std::pair("abc", 26499u), std::pair("\xff", 268435215u),
                    std::pair("password123456789", 140928073u),
                    std::pair("\xe5\xaf\x86\xe7\xa0\x81", 572785u),  // "密码" in UTF-8
                    std::pair("\x80\x81zz", 267811050u),
                    std::pair(std::string("a\0b", 3), 24930u)));

// Stored texts name a digest only as plain decimal digits below 2^31.
class StoredDigest
    : public testing::TestWithParam<std::pair<const char*, std::optional<uint32_t>>> {};
TEST_P(StoredDigest, ReadsOnlyPlainDecimalDigits) {
    EXPECT_EQ(ParseStoredDigest(GetParam().first), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(Texts, StoredDigest,
                         testing::Values(std::pair("26499", 26499u),
                                         std::pair("2147483647", 2147483647u),
                                         std::pair("2147483648", std::nullopt),
                                         std::pair("", std::nullopt), std::pair("-1", std::nullopt),
                                         std::pair(" 1", std::nullopt),
                                         std::pair("12x", std::nullopt)));

// The strong hash tells apart what the digest cannot: "`r"/"ab" and "tUcret"/"secret" collide.
TEST(PasswordHash, AcceptsOnlyItsOwnPasswordAndDisablesWhatIsNoYescryptHash) {
    ASSERT_EQ(PasswordDigest("`r"), PasswordDigest("ab"));
    ASSERT_EQ(PasswordDigest("tUcret"), PasswordDigest("secret"));
    const std::optional<std::string> hash = MakePasswordHash("secret");
    ASSERT_TRUE(hash && hash->starts_with("$y$j9T$")) << hash.value_or("none");
    EXPECT_NE(MakePasswordHash("secret"), hash) << "each hash has a salt of its own";
    EXPECT_EQ(MakePasswordHash(std::string("a\0b", 3)), std::nullopt);
    // Rows: hash, password, result.
    const std::tuple<std::string, std::string, HashCheck> cases[] = {
        {*hash, "secret", HashCheck::kMatch},
        {*hash, "tUcret", HashCheck::kMismatch},
        {*hash, "Secret", HashCheck::kMismatch},
        {*hash, std::string("secret\0x", 8), HashCheck::kMismatch},  // crypt would stop at \0
        {*hash, "", HashCheck::kMismatch},
        {crypt("secret", "xy"), "secret", HashCheck::kUnusable},  // DES: not ours
        {"26499", "abc", HashCheck::kUnusable},
        {"$y$garbage$", "secret", HashCheck::kUnusable},
        {"", "", HashCheck::kUnusable},
    };
    for (const auto& [hash, password, result] : cases)
        EXPECT_EQ(CheckPasswordHash(hash, password), result) << hash;
}

}  // namespace
