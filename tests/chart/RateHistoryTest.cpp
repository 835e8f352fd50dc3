#include <gtest/gtest.h>

#include "chart/RateHistory.h"

namespace chart {
namespace {

TEST(RateHistory, RescalingSequence) {
    RateHistory h;
    h.Add(50);
    EXPECT_EQ(h.AxisTop(), 100.0);
    EXPECT_EQ(h.Samples().back(), 50.0);
    h.Add(1000);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    h.Add(1100);  // equal to the top: nothing changes
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    h.Add(150);  // 1000 and 1100 still on the chart
    EXPECT_DOUBLE_EQ(h.AxisTop(), 1100.0);
    for (int i = 0; i < 29; ++i) h.Add(200);  // the big samples leave; peak below a fifth
    EXPECT_DOUBLE_EQ(h.AxisTop(), 220.0);
    EXPECT_DOUBLE_EQ(h.Samples().front(), 150.0);
    for (int i = 0; i < 30; ++i) h.Add(90);
    EXPECT_EQ(h.AxisTop(), 100.0);
}

TEST(RateHistory, PeakCoversExactlyTheThirtySamplesShown) {
    RateHistory h;
    h.Add(5000);
    for (int i = 0; i < 29; ++i) h.Add(10);
    EXPECT_DOUBLE_EQ(h.AxisTop(), 5500.0);
    EXPECT_EQ(h.Samples().front(), 5000.0);
    h.Add(10);  // 5000 drops off: peak 10 < 100
    EXPECT_EQ(h.AxisTop(), 100.0);
}

TEST(RateHistory, TopRuleAtItsBoundaries) {
    EXPECT_DOUBLE_EQ(NextRateAxisTop(100, 100.5), 110.55);  // just above the top
    EXPECT_DOUBLE_EQ(NextRateAxisTop(1100, 220), 1100);     // exactly a fifth: stays
    EXPECT_DOUBLE_EQ(NextRateAxisTop(1100, 219), 240.9);
    EXPECT_DOUBLE_EQ(NextRateAxisTop(100, 99.9), 100);
}

}  // namespace
}  // namespace chart
