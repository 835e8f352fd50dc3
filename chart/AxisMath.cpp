#include "chart/AxisMath.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace chart {
namespace {

// Points far outside the range would overflow an int; drawing surfaces cannot use such
// coordinates anyway.
constexpr double kPixelLimit = 1 << 27;

int ClampToPixel(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit));
}

// A tick that lands on max after repeated additions may exceed it by a rounding error;
// such a tick is still the tick at max.
double TickTolerance(double increment) {
    return std::fabs(increment) * 1e-9;
}

}  // namespace

int ValueToScreenStandard(const AxisSpan& s, double value) {
    const double length = std::abs(s.end - s.start);
    const int offset = ClampToPixel(std::floor(length * (value - s.min) / (s.max - s.min)));
    if (s.horizontal) return s.inverted ? s.end - offset : s.start + offset;
    return s.inverted ? s.end + offset : s.start - offset;
}

double ScreenToValue(const AxisSpan& s, int pixel) {
    if (s.max == s.min) return s.min;
    int d;
    if (s.horizontal)
        d = s.inverted ? s.end - pixel : pixel - s.start;
    else
        d = s.inverted ? pixel - s.end : s.start - pixel;
    const int length = std::abs(s.end - s.start);
    if (length == 0) return s.min;
    return static_cast<double>(d) / length * (s.max - s.min) + s.min;
}

int AxisMiddle(const AxisSpan& s) {
    const int half = static_cast<int>(std::fabs((s.end - s.start) * 0.5));
    return s.horizontal ? s.start + half : s.start - half;
}

int ValueToScreenDiscrete(const AxisSpan& s, double increment, double value) {
    if (increment == 0.0) return ValueToScreenStandard(s, value);
    const double nudge = value < 0 ? -1e-10 : 1e-10;
    const double k = std::trunc((value + nudge) / increment);
    return ValueToScreenStandard(s, k * increment + increment / 2.0);
}

int PixelOfValue(const AxisSpan& s, bool discrete, double increment, double value) {
    if (s.max == s.min) return AxisMiddle(s);
    return discrete ? ValueToScreenDiscrete(s, increment, value) : ValueToScreenStandard(s, value);
}

bool PixelInsideAxis(const AxisSpan& s, int pixel) {
    if (s.horizontal) return s.start <= pixel && pixel <= s.end;
    return s.end <= pixel && pixel <= s.start;
}

TickStep ComputeTickStep(const AxisSpan& s, TickStep previous) {
    if (s.max == s.min) return {0.0, previous.precision};
    const int zone = s.horizontal ? 30 : 20;
    const int n = std::abs((s.end - s.start) / zone);
    if (n == 0) return previous;
    const double x = (s.max - s.min) / n;
    // An inverted range (max below min) has no sensible step; keep the old one.
    if (!(x > 0.0) || !std::isfinite(x)) return previous;
    const int e = static_cast<int>(std::floor(std::log10(x)));
    const double b = std::pow(10.0, e);
    const unsigned decimals = e < 0 ? static_cast<unsigned>(-e) : 0u;
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * b >= x) return {factor * b, decimals};
    }
    return {10.0 * b, decimals > 0 ? decimals - 1 : 0u};
}

double ComputeFirstTick(double min, double increment) {
    if (increment == 0.0) return min;
    if (min == 0.0) return 0.0;
    // The quotient stays a double: cut to 32 bits, a fine step far from zero (an axis zoomed in
    // near a high rate) would be walked one increment at a time from 2^31 steps away.
    const double quotient = std::trunc(min / increment);
    if (!std::isfinite(quotient)) return min;
    double tick = quotient * increment;
    // The walk below is a step or two; a step lost in rounding ends it at min itself.
    if (min > 0) {
        while (tick < min) {
            if (tick + increment == tick) return min;
            tick += increment;
        }
    } else {
        while (tick > min) {
            if (tick - increment == tick) return min;
            tick -= increment;
        }
        if (tick != min) tick += increment;
    }
    return tick;
}

std::optional<double> NextTick(double tick, double increment, double max) {
    if (increment == 0.0) return std::nullopt;
    const double next = tick + increment;
    if (next > max + TickTolerance(increment)) return std::nullopt;
    return next;
}

std::string FormatTickLabel(double value, unsigned precision) {
    // Not printf: the console's process runs in the user's locale, which may write "0,2".
    // The largest double takes 309 digits; a sign, the point and 30 decimals fit besides.
    std::array<char, 400> buffer;
    const int p = static_cast<int>(std::min(precision, 30u));
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, p);
    if (error != std::errc()) return {};
    std::string text(buffer.data(), end);
    // A tick summed up to a hair below zero is the tick at zero: "0.0", not "-0.0".
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

ValueRange ZoomRangeFor(double low, double high, double zoomLimit) {
    if (high - low < zoomLimit) return {low, low + zoomLimit};
    return {low, high};
}

ScrollSteps ComputeScrollSteps(double min, double max, double smin, double smax) {
    const double span = max - min;
    if (span == 0.0 || smax == smin) return {1, 1};
    const double steps = std::ceil((smax - smin) / (span / 10.0));
    const double position = (min - smin) / (smax - smin) * steps;
    return {ClampToPixel(steps), ClampToPixel(std::trunc(position))};
}

std::optional<int> NextScrollPosition(ScrollRequest request, int pos, int min, int max,
                                      int trackPos) {
    switch (request) {
        case ScrollRequest::LineUp:
            return pos > min ? pos - 1 : pos;
        case ScrollRequest::LineDown:
            return pos < max - 9 ? pos + 1 : pos;
        case ScrollRequest::PageUp:
            return pos > min ? std::max(min, pos - 10) : pos;
        case ScrollRequest::PageDown:
            return pos < max - 9 ? std::min(max, pos + 10) : pos;
        case ScrollRequest::ThumbTrack:
        case ScrollRequest::ThumbPosition:
            return trackPos;
        case ScrollRequest::Top:
            return 0;
        case ScrollRequest::Bottom:
            return max;
        case ScrollRequest::EndScroll:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace chart
