#include <gtest/gtest.h>

#include <cstdint>

#include "server_link/ReplyFramer.h"

namespace {

TEST(ReplyFramer, ReadsTheHeaderTheWayAtoiDoesAndRefusesLengthsOutsideZeroToTheCap) {
    const std::pair<const char*, int32_t> cases[] = {
        {"27", 27}, {"  \t12", 12}, {"+5", 5},  {"-3", -3},   {"12abc", 12},
        {"abc", 0}, {"", 0},        {"- 4", 0}, {"\r\r7", 7}, {"4 2", 4},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseLengthHeader(text), value) << text;
    EXPECT_EQ(ParseLengthHeader("99999999999"), INT32_MAX);  // saturates
    EXPECT_EQ(ParseLengthHeader("-99999999999"), INT32_MIN);
    using Status = ReplyFramer::Status;
    for (const auto& [header, status] :
         {std::pair("67108864\r\n", Status::kNeedMore), std::pair("67108865\r\n", Status::kFailed),
          std::pair("-1\r\n", Status::kFailed)}) {
        std::string body;
        EXPECT_EQ(ReplyFramer(body).Feed(header), status) << header;
    }
}

}  // namespace
