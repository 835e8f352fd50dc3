// Shown texts of addresses and times, and the filter's substring test.
#include <gtest/gtest.h>

#include "tests/support/ScopedOverrides.h"
#include "ui/pages/records/RecordText.h"

namespace {

using Zone = test::ScopedTimeZone;

TEST(RecordText, DottedAddressMostSignificantOctetFirst) {
    EXPECT_EQ(DottedAddress((192u << 24) | (168u << 16) | 1u), "192.168.0.1");
    EXPECT_EQ(DottedAddress(static_cast<uint32_t>(int32_t{-1062731775})), "192.168.0.1");
    EXPECT_EQ(DottedAddress(0x80000000u), "128.0.0.0");
    EXPECT_EQ(DottedAddress(0), "0.0.0.0");
    EXPECT_EQ(DottedAddress(0xFFFFFFFFu), "255.255.255.255");
}

TEST(RecordText, TimesShowLocalClockWithLeapSecondAs59AndPast2038) {
    {
        Zone zone("right/UTC");  // counts leap seconds: 2016-12-31 23:59:60 exists
        EXPECT_EQ(TimeText(1483228826), "2016-12-31 23:59:59");
        EXPECT_EQ(TimeText(1483228825), "2016-12-31 23:59:59");
        EXPECT_EQ(TimeText(1483228827), "2017-1-1 0:0:0");
    }
    Zone zone("UTC");
    EXPECT_EQ(TimeText(INT64_C(2147483648)), "2038-1-19 3:14:8");
    EXPECT_EQ(TimeText(INT64_C(4102444800)), "2100-1-1 0:0:0");
    EXPECT_EQ(TimeText(-1), "1969-12-31 23:59:59");
}

// The writer's minute cache must never change a text: walk both directions across a leap
// second, a daylight-saving change and a whole-hour zone.
TEST(RecordText, TimeTextWriterGivesTheTextsOfTimeText) {
    const std::vector<std::tuple<const char*, int64_t>> walks = {
        {"right/UTC", 1483228826},      // leap second
        {"Europe/Berlin", 1711846800},  // 2024-03-31 clocks jump 2:00 -> 3:00
        {"Asia/Shanghai", 1741000000},
    };
    for (const auto& [zoneName, centre] : walks) {
        Zone zone(zoneName);
        for (int step : {1, -1, 7, -13, 61}) {
            TimeTextWriter writer;
            for (int64_t t = centre - 200 * step; t != centre + 200 * step; t += step) {
                std::string text;
                writer.Append(t, text);
                ASSERT_EQ(text, TimeText(t)) << zoneName << " at " << t << " step " << step;
            }
        }
    }
}

TEST(RecordText, FilterMatchesSubstringsIgnoringAsciiCase) {
    const std::string folded = FoldFilter("ExAmPle.COM");
    EXPECT_EQ(folded, "example.com");
    EXPECT_TRUE(ContainsFolded("http://WWW.EXAMPLE.com/a", folded));
    EXPECT_TRUE(ContainsFolded("example.com", folded));
    EXPECT_FALSE(ContainsFolded("example.co", folded));
    EXPECT_FALSE(ContainsFolded("exampleXcom", folded));
    EXPECT_TRUE(ContainsFolded("anything", ""));
    EXPECT_TRUE(ContainsFolded("访问被拒绝：用户", FoldFilter("拒绝")));
    EXPECT_FALSE(ContainsFolded("访问被拒绝", FoldFilter("拒否")));
    // A partial match at the very end must not read past the text.
    EXPECT_FALSE(ContainsFolded(std::string_view("abcab", 4), FoldFilter("ab_")));
}

}  // namespace
