#pragma once

#include <vector>

#include "chart/ChartTypes.h"

// Geometry of the chart's layout: where axes, scroll bars, legend and title go. Sizes of
// texts come in already measured, so everything here is tested without a drawing surface.
namespace chart {

struct AxisPlacement {
    int start = 0;
    int end = 0;
    ChartRect rect;
    bool operator==(const AxisPlacement&) const = default;
};
// Pixel range and drawing area of the axis at `pos` for the plotting rectangle P inside R.
AxisPlacement PlaceAxis(int pos, const ChartRect& P, const ChartRect& R);

struct AxisMarginInput {
    ChartSize largestTick;
    ChartSize label;
    bool automaticMargin = true;
    int storedMargin = 0;
};
// Shrinks P to leave room for the axis at `pos` inside R; returns the axis thickness.
int ApplyAxisMargin(int pos, const AxisMarginInput& in, const ChartRect& R, ChartRect& P);

// The scroll bar of the axis at `pos`, of thickness t, along the plotting rectangle P.
ChartRect ScrollBarRect(int pos, const ChartRect& P, int t);

// R after giving the docked legend its side.
ChartRect ShrinkForLegend(ChartRect R, const ChartRect& legend, LegendDock dock);

struct LegendLayout {
    bool horizontal = false;
    ChartSize symbol{16, 16};
    bool docked = true;
    LegendDock dock = DockRight;
    int freeLeft = 0;
    int freeTop = 0;
};
// Rectangle of a legend listing names of the given sizes; empty when there are none.
ChartRect LegendRectFor(const LegendLayout& layout, const std::vector<ChartSize>& names,
                        const ChartRect& area);

struct LegendRow {
    ChartRect symbol;
    int textX = 0;
    int textY = 0;
};
std::vector<LegendRow> LegendRows(const LegendLayout& layout, const ChartRect& legend,
                                  const std::vector<ChartSize>& names);

// Title: (0,0) without lines; otherwise 4 + sum(line height + 2) high, widest line + 2 wide.
ChartSize TitleSizeFor(const std::vector<ChartSize>& lines);
struct TextOrigin {
    int x = 0;
    int y = 0;
    bool operator==(const TextOrigin&) const = default;
};
// Top-left corner of every title line, each centred horizontally in the rectangle.
std::vector<TextOrigin> TitleLineOrigins(const ChartRect& rect,
                                         const std::vector<ChartSize>& lines);

}  // namespace chart
