#include <gtest/gtest.h>

#include <limits>

#include "server_link/ReplyFramer.h"

namespace {

TEST(ParseLengthHeader, ReadsTheWayAtoiDoes) {
    const std::pair<const char*, int32_t> cases[] = {
        {"27", 27}, {"  \t12", 12}, {"+5", 5},  {"-3", -3},   {"12abc", 12},
        {"abc", 0}, {"", 0},        {"- 4", 0}, {"\r\r7", 7}, {"4 2", 4},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseLengthHeader(text), value) << text;
    EXPECT_EQ(ParseLengthHeader("99999999999"), std::numeric_limits<int32_t>::max());  // saturates
    EXPECT_EQ(ParseLengthHeader("-99999999999"), std::numeric_limits<int32_t>::min());
}

TEST(ReplyFramer, RefusesLengthsBelowZeroOrAboveTheCap) {
    using Status = ReplyFramer::Status;
    const std::pair<const char*, Status> cases[] = {
        {"67108864\r\n", Status::kNeedMore},
        {"67108865\r\n", Status::kFailed},
        {"-1\r\n", Status::kFailed},
    };
    for (const auto& [header, status] : cases) {
        std::string body;
        EXPECT_EQ(ReplyFramer(body).Feed(header), status) << header;
    }
}

}  // namespace
