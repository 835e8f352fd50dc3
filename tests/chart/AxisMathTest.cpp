#include <gtest/gtest.h>

#include <vector>

#include "chart/AxisMath.h"
#include "chart/CChartStandardAxis.h"
#include "chart/VisibleRange.h"

namespace chart {
namespace {

AxisSpan Horizontal(double min, double max, int start, int end) {
    return {min, max, start, end, true, false};
}
AxisSpan Vertical(double min, double max, int start, int end) {
    return {min, max, start, end, false, false};
}

struct StepCase {
    AxisSpan span;
    double increment;
    unsigned precision;
};

TEST(TickStep, WorkedExamples) {
    const std::vector<StepCase> cases = {
        {Horizontal(0, 29, 0, 480), 2.0, 0},    // n = 16, x = 1.8125
        {Vertical(0, 0.6, 100, 0), 0.2, 1},     // n = 5, x = 0.12
        {Vertical(0, 0.3, 100, 0), 0.1, 1},     // x = 0.06: 10 * 0.01
        {Horizontal(0, 60, 0, 300), 10.0, 0},   // x = 6: 10 * 1
        {Vertical(0, 100, 100, 0), 20.0, 0},    // n = 5, x = 20
        {Vertical(0, 1100, 200, 0), 200.0, 0},  // n = 10, x = 110
    };
    for (const StepCase& c : cases) {
        const TickStep step = ComputeTickStep(c.span, {1.0, 0});
        EXPECT_DOUBLE_EQ(step.increment, c.increment) << c.span.max;
        EXPECT_EQ(step.precision, c.precision) << c.span.max;
    }
}

TEST(TickStep, EqualBoundsGiveZeroStepAndShortAxisKeepsThePreviousOne) {
    EXPECT_EQ(ComputeTickStep(Horizontal(5, 5, 0, 480), {2.0, 3}), (TickStep{0.0, 3}));
    EXPECT_EQ(ComputeTickStep(Horizontal(0, 10, 0, 29), {2.5, 1}), (TickStep{2.5, 1}));
    EXPECT_EQ(ComputeTickStep(Vertical(10, 0, 100, 0), {2.5, 1}), (TickStep{2.5, 1}));
}

TEST(Ticks, EnumerationRunsFromFirstTickToMaxInclusive) {
    auto ticks = [](double min, double max, double inc) {
        std::vector<double> out{ComputeFirstTick(min, inc)};
        while (auto next = NextTick(out.back(), inc, max)) out.push_back(*next);
        return out;
    };
    EXPECT_EQ(ticks(0, 29, 2),
              (std::vector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28}));
    EXPECT_EQ(ticks(0, 100, 20), (std::vector<double>{0, 20, 40, 60, 80, 100}));
    // 0.2 + 0.2 + 0.2 lands a rounding error above 0.6; the tick at max is still drawn.
    EXPECT_EQ(ticks(0, 0.6, 0.2).size(), 4u);
    EXPECT_EQ(ticks(3, 10, 2).front(), 4.0);
    EXPECT_EQ(ticks(-3, 3, 2).front(), -2.0);
    EXPECT_EQ(ticks(-4, 3, 2).front(), -4.0);
    EXPECT_EQ(ComputeFirstTick(7.5, 0.0), 7.5);
    EXPECT_FALSE(NextTick(1.0, 0.0, 10.0));
}

TEST(Ticks, LabelsHaveExactlyThePrecisionDecimals) {
    EXPECT_EQ(FormatTickLabel(28, 0), "28");
    EXPECT_EQ(FormatTickLabel(0.30000000000000004, 1), "0.3");
    EXPECT_EQ(FormatTickLabel(0.1, 2), "0.10");
    EXPECT_EQ(FormatTickLabel(1e20, 0), "100000000000000000000");
}

TEST(Mapping, LinearBothWaysAndInverted) {
    const AxisSpan h = Horizontal(0, 29, 50, 530);
    EXPECT_EQ(ValueToScreenStandard(h, 0), 50);
    EXPECT_EQ(ValueToScreenStandard(h, 29), 530);
    EXPECT_EQ(ValueToScreenStandard(h, 1), 50 + 16);  // floor(480 / 29)
    EXPECT_DOUBLE_EQ(ScreenToValue(h, 290), 14.5);
    AxisSpan hi = h;
    hi.inverted = true;
    EXPECT_EQ(ValueToScreenStandard(hi, 0), 530);
    EXPECT_DOUBLE_EQ(ScreenToValue(hi, 530), 0.0);

    const AxisSpan v = Vertical(0, 100, 210, 10);
    EXPECT_EQ(ValueToScreenStandard(v, 0), 210);
    EXPECT_EQ(ValueToScreenStandard(v, 100), 10);
    EXPECT_EQ(ValueToScreenStandard(v, 50), 110);
    EXPECT_DOUBLE_EQ(ScreenToValue(v, 60), 75.0);
    AxisSpan vi = v;
    vi.inverted = true;
    EXPECT_EQ(ValueToScreenStandard(vi, 100), 210);
    // Values far out of range stay representable.
    EXPECT_LT(ValueToScreenStandard(v, 1e300), -1000000);
}

TEST(Mapping, EqualBoundsPutEverythingInTheMiddle) {
    EXPECT_EQ(PixelOfValue(Horizontal(5, 5, 40, 440), false, 0, 123.0), 240);
    EXPECT_EQ(PixelOfValue(Vertical(5, 5, 300, 100), false, 0, -7.0), 200);
    EXPECT_DOUBLE_EQ(ScreenToValue(Vertical(5, 5, 300, 100), 17), 5.0);
}

TEST(Mapping, DiscreteLabelsSitMidInterval) {
    const AxisSpan h = Horizontal(0, 10, 0, 100);
    EXPECT_EQ(ValueToScreenDiscrete(h, 2.0, 2.0), 30);  // interval [2, 4) -> 3
    EXPECT_EQ(ValueToScreenDiscrete(h, 2.0, 3.9), 30);
    EXPECT_EQ(ValueToScreenDiscrete(h, 2.0, 0.0), 10);
    EXPECT_EQ(PixelOfValue(h, true, 2.0, 4.0), 50);
}

TEST(Zoom, NarrowerThanTheLimitYieldsExactlyTheLimit) {
    EXPECT_EQ(ZoomRangeFor(0.0, 0.0004, 0.001), (ValueRange{0.0, 0.001}));
    EXPECT_EQ(ZoomRangeFor(2.0, 8.0, 0.001), (ValueRange{2.0, 8.0}));

    CChartStandardAxis axis;
    axis.SetMinMax(0, 29);
    axis.SetZoomMinMax(0.0, 0.0002);
    EXPECT_EQ(axis.GetMax() - axis.GetMin(), 0.001);
    axis.UndoZoom();
    EXPECT_EQ(axis.GetMax(), 29.0);
    // Zoom disabled, or an axis with min == max: nothing moves.
    axis.SetZoomEnabled(false);
    axis.SetZoomMinMax(3, 4);
    EXPECT_EQ(axis.GetMin(), 0.0);
    CChartStandardAxis flat;
    flat.SetMinMax(5, 5);
    flat.SetZoomMinMax(1, 2);
    EXPECT_EQ(flat.GetMin(), 5.0);
}

TEST(Scroll, StepsAndPositions) {
    // One step is a tenth of the shown span.
    EXPECT_EQ(ComputeScrollSteps(0, 10, 0, 100), (ScrollSteps{100, 0}));
    EXPECT_EQ(ComputeScrollSteps(50, 60, 0, 100), (ScrollSteps{100, 50}));
    EXPECT_EQ(ComputeScrollSteps(0, 0, 0, 100), (ScrollSteps{1, 1}));
    EXPECT_EQ(ComputeScrollSteps(0, 10, 3, 3), (ScrollSteps{1, 1}));

    using R = ScrollRequest;
    EXPECT_EQ(NextScrollPosition(R::LineUp, 5, 0, 99, 0), 4);
    EXPECT_EQ(NextScrollPosition(R::LineUp, 0, 0, 99, 0), 0);
    EXPECT_EQ(NextScrollPosition(R::LineDown, 89, 0, 99, 0), 90);
    EXPECT_EQ(NextScrollPosition(R::LineDown, 90, 0, 99, 0), 90);
    EXPECT_EQ(NextScrollPosition(R::PageUp, 4, 0, 99, 0), 0);
    EXPECT_EQ(NextScrollPosition(R::PageDown, 85, 0, 99, 0), 95);
    EXPECT_EQ(NextScrollPosition(R::ThumbTrack, 5, 0, 99, 42), 42);
    EXPECT_EQ(NextScrollPosition(R::Top, 5, 0, 99, 0), 0);
    EXPECT_EQ(NextScrollPosition(R::Bottom, 5, 0, 99, 0), 99);
    EXPECT_FALSE(NextScrollPosition(R::EndScroll, 5, 0, 99, 0));
}

TEST(VisibleRange, BinarySearchFindsTheBoundaries) {
    const std::vector<double> keys = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    auto key = [&](int i) { return keys[static_cast<size_t>(i)]; };
    auto range = [&](double min, double max) {
        return VisibleIndexRange(key, static_cast<unsigned>(keys.size()), min, max).value();
    };
    EXPECT_EQ(range(0, 9), (IndexRange{0, 9}));
    const IndexRange mid = range(2.5, 6.5);
    // first lies at the lower boundary, last at the upper one.
    EXPECT_TRUE(mid.first == 2 || mid.first == 3) << mid.first;
    EXPECT_TRUE(mid.last == 6 || mid.last == 7) << mid.last;
    // Everything left of the range: the last points; widened, they still form a polygon.
    const IndexRange left = range(20, 30);
    EXPECT_EQ(left.first, 9u);
    EXPECT_EQ(WidenByOne(left, 10), (IndexRange{8, 9}));
    // Everything right of the range.
    EXPECT_EQ(range(-10, -5).first, 0u);
    EXPECT_FALSE(VisibleIndexRange(key, 0, 0, 1));
    // One and two points.
    EXPECT_EQ(VisibleIndexRange(key, 1, 0, 9).value(), (IndexRange{0, 0}));
    EXPECT_EQ(WidenByOne(VisibleIndexRange(key, 2, 0, 9).value(), 2), (IndexRange{0, 1}));
}

TEST(VisibleRange, EveryPointInsideTheRangeIsCoveredAfterWidening) {
    std::vector<double> keys;
    for (int i = 0; i < 1000; ++i) keys.push_back(i * 0.5);
    auto key = [&](int i) { return keys[static_cast<size_t>(i)]; };
    for (double lo = -3; lo < 510; lo += 37.25) {
        const double hi = lo + 41.5;
        const IndexRange r = WidenByOne(VisibleIndexRange(key, 1000, lo, hi).value(), 1000);
        for (unsigned i = 0; i < 1000; ++i) {
            if (keys[i] >= lo && keys[i] <= hi) {
                EXPECT_GE(i, r.first) << lo;
                EXPECT_LE(i, r.last) << lo;
            }
        }
    }
}

}  // namespace
}  // namespace chart
