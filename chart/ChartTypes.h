#pragma once

#include <cstdint>

namespace chart {

// Colours are kept in the 0x00BBGGRR layout the chart's callers use; they are converted to
// QColor only at the drawing call (see ChartDraw.h).
using ChartColor = uint32_t;

constexpr ChartColor MakeChartColor(int red, int green, int blue) {
    return static_cast<ChartColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(ChartColor c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(ChartColor c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(ChartColor c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

struct ChartSize {
    int width = 0;
    int height = 0;
    bool operator==(const ChartSize&) const = default;
};

// Rectangle with exclusive right and bottom edges, in device pixels (y grows downwards).
struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    ChartRect Deflated(int d) const { return {left + d, top + d, right - d, bottom - d}; }
    bool operator==(const ChartRect&) const = default;
};

// The four places an axis can take around the plotting rectangle.
enum EAxisPos { LeftAxis = 0, BottomAxis = 1, RightAxis = 2, TopAxis = 3 };
constexpr int kAxisCount = 4;

// The four sides a docked legend can take.
enum LegendDock { DockRight = 0, DockLeft = 1, DockTop = 2, DockBottom = 3 };

constexpr bool IsHorizontalPosition(int pos) {
    return pos == BottomAxis || pos == TopAxis;
}
constexpr bool IsSecondaryPosition(int pos) {
    return pos == RightAxis || pos == TopAxis;
}

}  // namespace chart
