#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "server_link/ReplyFramer.h"

namespace {

TEST(ParseLengthHeader, ReadsTheWayAtoiDoes) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"27", 27},
        {"  \t12", 12},
        {"+5", 5},
        {"-3", -3},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"- 4", 0},
        {"\r\r7", 7},
        {"0042", 42},
        {"4 2", 4},
        {"99999999999", 2147483647},
        {"-99999999999", std::numeric_limits<int32_t>::min()},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLengthHeader(c.text), c.value) << c.text;
}

using Status = ReplyFramer::Status;

// Feeds the pieces in order and reports the status after the last one.
Status FeedAll(std::string& body, const std::vector<std::string>& pieces) {
    ReplyFramer framer(body);
    Status status = Status::kNeedMore;
    for (const auto& piece : pieces) {
        status = framer.Feed(piece);
        if (status != Status::kNeedMore) break;
    }
    return status;
}

TEST(ReplyFramer, AssemblesTheBodyWhateverThePieces) {
    const struct {
        std::vector<std::string> pieces;
        Status status;
        std::string body;
    } cases[] = {
        {{"5\r\nhello"}, Status::kComplete, "hello"},
        {{"5", "\r\nhel", "lo"}, Status::kComplete, "hello"},
        {{"5\r", "\nhello"}, Status::kComplete, "hello"},  // terminator split in two
        {{"1", "2\r\n", "abcdefghijkl"}, Status::kComplete, "abcdefghijkl"},
        {{"0\r\n"}, Status::kComplete, ""},
        {{"abc\r\n"}, Status::kComplete, ""},  // no digits: length 0
        {{"abc\r\nx"}, Status::kFailed, "x"},
        {{"3\r\nabcX"}, Status::kFailed, "abcX"},
        {{"3\r\nab", "cX"}, Status::kFailed, "abcX"},
        {{"-1\r\n"}, Status::kFailed, ""},        // negative length
        {{"67108865\r\n"}, Status::kFailed, ""},  // above the cap
        {{"5\r\nhel"}, Status::kNeedMore, "hel"},
        {{"12"}, Status::kNeedMore, "12"},  // header bytes are kept
    };
    for (const auto& c : cases) {
        std::string body;
        EXPECT_EQ(FeedAll(body, c.pieces), c.status) << c.pieces.front();
        EXPECT_EQ(body, c.body) << c.pieces.front();
    }
}

TEST(ReplyFramer, AcceptsTheCapItself) {
    std::string body;
    ReplyFramer framer(body);
    EXPECT_EQ(framer.Feed("67108864\r\n"), Status::kNeedMore);
    EXPECT_EQ(framer.declaredLength(), ReplyFramer::kMaxBodyLength);
}

}  // namespace
