#include <gtest/gtest.h>

#include <string>

#include "Common/PasswordDigest.h"

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
