#include <gtest/gtest.h>

#include "chart/RateHistory.h"

namespace chart {
namespace {

TEST(RateHistory, StartsEmptyWithTheFloorRange) {
    RateHistory h;
    EXPECT_EQ(h.AxisTop(), 100.0);
    for (double s : h.Samples()) EXPECT_EQ(s, 0.0);
}

TEST(RateHistory, RescalingSequence) {
    RateHistory h;
    h.Add(50);
    EXPECT_EQ(h.AxisTop(), 100.0);
    EXPECT_EQ(h.Samples().back(), 50.0);
    h.Add(1000);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    // A sample equal to the top changes nothing.
    h.Add(1100);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    // While 1000 and 1100 are on the chart the range stays.
    h.Add(150);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    // Push the big samples off the chart with samples below a fifth of the range.
    for (int i = 0; i < 29; ++i) h.Add(200);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 220.0);  // 110 % of the peak (200)
    EXPECT_DOUBLE_EQ(h.Samples().front(), 150.0);
    // Once every sample is below 100 the range returns to 0..100.
    for (int i = 0; i < 30; ++i) h.Add(90);
    EXPECT_EQ(h.AxisTop(), 100.0);
}

TEST(RateHistory, PeakCoversOnlyTheSamplesThatStay) {
    RateHistory h;
    h.Add(5000);  // oldest of 30 after 29 more samples
    for (int i = 0; i < 29; ++i) h.Add(10);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 5500.0);
    EXPECT_EQ(h.Samples().front(), 5000.0);
    // The next sample drops 5000: peak 10 < 100.
    h.Add(10);
    EXPECT_EQ(h.AxisTop(), 100.0);
}

TEST(RateHistory, TopRuleTable) {
    struct Case {
        double top, peak, expected;
    };
    const Case cases[] = {
        {100, 0, 100},     {100, 99.9, 100},   {100, 100, 100},    {100, 100.5, 110.55},
        {1100, 220, 1100}, {1100, 219, 240.9}, {1100, 1100, 1100}, {220, 210, 220},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(NextRateAxisTop(c.top, c.peak), c.expected);
}

}  // namespace
}  // namespace chart
