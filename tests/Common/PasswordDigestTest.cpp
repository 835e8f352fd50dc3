#include <crypt.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"

// Digests the server compares logins against: bytes above 0x7F count as negative values, the
// high nibble folds back after each byte, and bit 31 is always clear.
TEST(PasswordDigest, MatchesTheStoredDigests) {
    const struct {
        std::string password;
        uint32_t digest;
    } cases[] = {
        {"", 0},
        {"abc", 26499},
        {"\xff", 268435215},
        {"password123456789", 140928073},
        {"\xe5\xaf\x86\xe7\xa0\x81", 572785},  // "密码" in UTF-8
        {"\x80\x81zz", 267811050},
    };
    for (const auto& c : cases) EXPECT_EQ(PasswordDigest(c.password), c.digest) << c.password;
}

TEST(PasswordDigest, ReadsEmbeddedZeroBytesAsPartOfThePassword) {
    EXPECT_NE(PasswordDigest(std::string("a\0b", 3)), PasswordDigest("ab"));
}

TEST(PasswordDigest, StoredTextsNameADigestOnlyAsPlainDecimalDigits) {
    const struct {
        const char* text;
        std::optional<uint32_t> digest;
    } cases[] = {
        {"26499", 26499u},
        {"0", 0u},
        {"2147483647", 2147483647u},
        {"2147483648", {}},
        {"", {}},
        {"abc", {}},
        {"-1", {}},
        {" 1", {}},
        {"1 ", {}},
        {"12x", {}},
        {"99999999999", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseStoredDigest(c.text), c.digest) << c.text;
}

// The strong hash tells apart the passwords that the digest cannot: "`r" and "tUcret" share
// the digests of "ab" and "secret".
TEST(PasswordHash, AcceptsOnlyItsOwnPasswordAndDisablesWhatIsNoYescryptHash) {
    ASSERT_EQ(PasswordDigest("`r"), PasswordDigest("ab"));
    ASSERT_EQ(PasswordDigest("tUcret"), PasswordDigest("secret"));
    const std::optional<std::string> hash = MakePasswordHash("secret");
    ASSERT_TRUE(hash && hash->starts_with("$y$j9T$")) << hash.value_or("none");
    EXPECT_NE(MakePasswordHash("secret"), hash) << "each hash has a salt of its own";
    EXPECT_EQ(MakePasswordHash(std::string("a\0b", 3)), std::nullopt);
    const struct {
        std::string hash, password;
        HashCheck result;
    } cases[] = {
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
    for (const auto& c : cases)
        EXPECT_EQ(CheckPasswordHash(c.hash, c.password), c.result) << c.hash;
}
