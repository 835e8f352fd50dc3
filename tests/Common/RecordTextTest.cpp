// The time texts' writer against TimeText (DateTime's, tested there), and the filter's search.
#include <gtest/gtest.h>

#include "Common/RecordText.h"
#include "tests/support/ScopedOverrides.h"

namespace {

// The writer's minute cache must never change a text: walk both directions across a leap
// second, a daylight-saving change and a whole-hour zone.
TEST(RecordText, TimeTextWriterGivesTheTextsOfTimeText) {
    const std::vector<std::tuple<const char*, int64_t>> walks = {
        {"right/UTC", 1483228826},      // leap second
        {"Europe/Berlin", 1711846800},  // 2024-03-31 clocks jump 2:00 -> 3:00
        {"Asia/Shanghai", 1741000000},
    };
    for (const auto& [zoneName, centre] : walks) {
        test::ScopedTimeZone zone(zoneName);
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
    EXPECT_FALSE(ContainsFolded("exampleXcom", folded));
    EXPECT_TRUE(ContainsFolded("访问被拒绝：用户", FoldFilter("拒绝")));
    EXPECT_FALSE(ContainsFolded("访问被拒绝", FoldFilter("拒否")));
    // A partial match at the very end must not read past the text.
    EXPECT_FALSE(ContainsFolded(std::string_view("abcab", 4), FoldFilter("ab_")));
}

}  // namespace
