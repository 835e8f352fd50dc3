#include <gtest/gtest.h>

#include <vector>

#include "chart/AxisMath.h"
#include "chart/LayoutMath.h"
#include "chart/VisibleRange.h"

namespace chart {
namespace {

// Spans are {min, max, start pixel, end pixel, horizontal (default), inverted}.
std::vector<double> Ticks(double min, double max, double inc) {
    std::vector<double> out{ComputeFirstTick(min, inc)};
    while (auto next = NextTick(out.back(), inc, max)) out.push_back(*next);
    return out;
}

// Worked examples, equal bounds (no step), too short or reversed axes (previous step stays).
TEST(TickStep, WorkedExamplesAndDegenerateAxes) {
    // Rows: span, previous, expected.
    const std::tuple<AxisSpan, TickStep, TickStep> cases[] = {
        {{0, 29, 0, 480}, {1, 0}, {2, 0}},
        {{0, 0.6, 100, 0, false}, {1, 0}, {0.2, 1}},
        {{0, 1100, 200, 0, false}, {1, 0}, {200, 0}},
        {{5, 5, 0, 480}, {2, 3}, {0, 3}},
        {{0, 10, 0, 29}, {2.5, 1}, {2.5, 1}},
        {{10, 0, 100, 0, false}, {2.5, 1}, {2.5, 1}},
    };
    for (const auto& [span, previous, expected] : cases) {
        const TickStep s = ComputeTickStep(span, previous);
        EXPECT_DOUBLE_EQ(s.increment, expected.increment) << span.max;
        EXPECT_EQ(s.precision, expected.precision) << span.max;
    }
}

TEST(Ticks, EnumerationIsInclusiveOfMaxAndLabelsCarryThePrecision) {
    EXPECT_EQ(Ticks(0, 29, 2),
              (std::vector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28}));
    // 0.2 + 0.2 + 0.2 lands a rounding error above 0.6; the tick at max is still there.
    std::vector<std::string> labels;
    for (double t : Ticks(0, 0.6, 0.2)) labels.push_back(FormatTickLabel(t, 1));
    EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6"}));
    EXPECT_EQ(Ticks(3, 10, 2).front(), 4.0);
    EXPECT_EQ(Ticks(-3, 3, 2).front(), -2.0);
    EXPECT_EQ(ComputeFirstTick(7.5, 0.0), 7.5);
    // A fine step far from zero (an axis zoomed in near a high rate) is found at once.
    EXPECT_NEAR(ComputeFirstTick(5e8, 1e-4), 5e8, 1e-4);
    EXPECT_NEAR(ComputeFirstTick(-5e8, 1e-4), -5e8, 1e-4);
    EXPECT_FALSE(NextTick(1.0, 0.0, 10.0));
    EXPECT_EQ(FormatTickLabel(-1e-17, 1), "0.0");  // a tick summed to a hair below zero
    EXPECT_EQ(FormatTickLabel(-0.04, 2), "-0.04");
}

TEST(Mapping, LinearDiscreteAndEqualBounds) {
    const AxisSpan h = {0, 29, 50, 530}, v = {0, 100, 210, 10, false};
    EXPECT_EQ(ValueToScreenStandard(h, 1), 50 + 16);  // floor(480 / 29)
    EXPECT_DOUBLE_EQ(ScreenToValue(h, 290), 14.5);
    EXPECT_EQ(ValueToScreenStandard(v, 50), 110);
    EXPECT_DOUBLE_EQ(ScreenToValue(v, 60), 75.0);
    EXPECT_EQ(ValueToScreenStandard({0, 100, 210, 10, false, true}, 100), 210);  // inverted
    EXPECT_LT(ValueToScreenStandard(v, 1e300), -1000000);  // far values stay representable
    // Discrete: a value sits in the middle of its tick interval ([2, 4) -> 3).
    EXPECT_EQ(ValueToScreenDiscrete({0, 10, 0, 100}, 2.0, 3.9), 30);
    EXPECT_EQ(PixelOfValue({0, 10, 0, 100}, true, 2.0, 4.0), 50);
    // min == max: everything in the middle of the axis.
    EXPECT_EQ(PixelOfValue({5, 5, 40, 440}, false, 0, 123.0), 240);
    EXPECT_EQ(PixelOfValue({5, 5, 300, 100, false}, false, 0, -7.0), 200);
    EXPECT_DOUBLE_EQ(ScreenToValue({5, 5, 300, 100, false}, 17), 5.0);
}

TEST(VisibleRange, EveryPointInsideTheRangeIsCoveredAfterWidening) {
    auto key = [](int i) { return i * 0.5; };
    for (double lo = -3; lo < 510; lo += 37.25) {
        const IndexRange r = WidenByOne(VisibleIndexRange(key, 1000, lo, lo + 41.5).value(), 1000);
        for (unsigned i = 0; i < 1000; ++i)
            ASSERT_TRUE(key(i) < lo || key(i) > lo + 41.5 || (i >= r.first && i <= r.last));
        // A point on or beyond each edge, so the segments that cross the edges are drawn too.
        EXPECT_TRUE(lo <= key(0) || key(r.first) <= lo) << lo;
        EXPECT_TRUE(lo + 41.5 >= key(999) || key(r.last) >= lo + 41.5) << lo;
    }
    // Right of every point the last two still make a polygon; empty and single series.
    EXPECT_EQ(WidenByOne(VisibleIndexRange(key, 10, 20, 30).value(), 10), (IndexRange{8, 9}));
    EXPECT_FALSE(VisibleIndexRange(key, 0, 0, 1));
    EXPECT_EQ(VisibleIndexRange(key, 1, 0, 9).value(), (IndexRange{0, 0}));
}

TEST(AxisLayout, MarginsShrinkThePlottingRectangle) {
    const ChartRect area{0, 0, 600, 300};
    ChartRect plot = area;
    EXPECT_EQ(ApplyAxisMargin(BottomAxis, {{20, 13}, {100, 17}, true, 0}, area, plot), 36);
    EXPECT_EQ(plot, (ChartRect{0, 0, 600 - 10 - 3, 300 - 36}));
    plot = area;
    EXPECT_EQ(ApplyAxisMargin(LeftAxis, {{24, 13}, {17, 100}, true, 0}, area, plot), 24 + 10 + 17);
    EXPECT_EQ(plot, (ChartRect{51, 3 + 6, 600, 300}));
    EXPECT_EQ(ApplyAxisMargin(RightAxis, {{24, 13}, {0, 0}, false, 40}, area, plot), 40);
    EXPECT_EQ(plot.right, 560);  // a fixed margin is used as stored
}

}  // namespace
}  // namespace chart
