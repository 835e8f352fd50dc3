#pragma once

#include <optional>
#include <string>

// The numeric rules of a linear axis: value/pixel mapping, tick step and first tick, tick
// labels, zoom and scroll-bar arithmetic. Plain functions so they are tested without a window.
namespace chart {

// What the mapping of one axis depends on.
struct AxisSpan {
    double min = 0.0;
    double max = 0.0;
    int start = 0;  // pixel of min (horizontal: left, vertical: bottom)
    int end = 0;    // pixel of max (horizontal: right, vertical: top)
    bool horizontal = true;
    bool inverted = false;
};

// Linear mapping; callers must not use it when min == max (see PixelOfValue).
int ValueToScreenStandard(const AxisSpan& span, double value);
double ScreenToValue(const AxisSpan& span, int pixel);
// The middle of the axis, where everything goes when min == max.
int AxisMiddle(const AxisSpan& span);
// The middle of the tick interval that holds the value.
int ValueToScreenDiscrete(const AxisSpan& span, double increment, double value);
// Pixel of labels and series points: middle rule, discrete or linear mapping.
int PixelOfValue(const AxisSpan& span, bool discrete, double increment, double value);
// start <= pixel <= end for horizontal axes, end <= pixel <= start for vertical ones.
bool PixelInsideAxis(const AxisSpan& span, int pixel);

struct TickStep {
    double increment = 1.0;
    unsigned precision = 0;
    bool operator==(const TickStep&) const = default;
};

// Automatic tick step: 1, 2 or 5 times a power of ten, one tick per 30 (horizontal) or
// 20 (vertical) pixels at most. Keeps `previous` when the axis is shorter than one zone.
TickStep ComputeTickStep(const AxisSpan& span, TickStep previous);
// Smallest multiple of the increment that is >= min (min itself for a zero increment).
double ComputeFirstTick(double min, double increment);
// Next tick after `tick`, as long as it does not pass max (max itself is included).
std::optional<double> NextTick(double tick, double increment, double max);
// Fixed-point text with exactly `precision` decimals.
std::string FormatTickLabel(double value, unsigned precision);

struct ValueRange {
    double min = 0.0;
    double max = 0.0;
    bool operator==(const ValueRange&) const = default;
};
// Range after a zoom to [low, high]; spans narrower than the limit become exactly the limit.
ValueRange ZoomRangeFor(double low, double high, double zoomLimit);

struct ScrollSteps {
    int steps = 1;
    int position = 1;
    bool operator==(const ScrollSteps&) const = default;
};
// Scroll steps of an axis showing [min, max] out of the series extent [smin, smax]:
// one step is a tenth of the shown span.
ScrollSteps ComputeScrollSteps(double min, double max, double smin, double smax);

enum class ScrollRequest {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbTrack,
    ThumbPosition,
    Top,
    Bottom,
    EndScroll
};
// New scroll-bar position for a request; nullopt for EndScroll (nothing moves).
std::optional<int> NextScrollPosition(ScrollRequest request, int pos, int min, int max,
                                      int trackPos);

}  // namespace chart
