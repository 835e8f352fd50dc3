#include "chart/LayoutMath.h"

#include <algorithm>
#include <cstdlib>

namespace chart {

AxisPlacement PlaceAxis(int pos, const ChartRect& P, const ChartRect& R) {
    AxisPlacement a;
    a.rect = R;
    switch (pos) {
        case BottomAxis:
            a.start = P.left, a.end = P.right, a.rect.top = P.bottom;
            break;
        case TopAxis:
            a.start = P.left, a.end = P.right, a.rect.bottom = P.top;
            break;
        case LeftAxis:
            a.start = P.bottom, a.end = P.top, a.rect.right = P.left;
            break;
        default:  // RightAxis
            a.start = P.bottom, a.end = P.top, a.rect.left = P.right;
            break;
    }
    return a;
}

int ApplyAxisMargin(int pos, const AxisMarginInput& in, const ChartRect& R, ChartRect& P) {
    const ChartSize& T = in.largestTick;
    const ChartSize& L = in.label;
    if (IsHorizontalPosition(pos)) {
        const int thickness = in.automaticMargin ? T.height + 6 + L.height : in.storedMargin;
        if (pos == TopAxis)
            P.top = std::max(P.top, R.top + thickness);
        else
            P.bottom = std::min(P.bottom, R.bottom - thickness);
        // Room for the half of the last tick label that sticks out on the right.
        P.right = std::min(P.right, R.right - T.width / 2 - 3);
        return thickness;
    }
    const int thickness = in.automaticMargin ? T.width + 10 + L.width : in.storedMargin;
    P.top = std::max(P.top, R.top + 3 + T.height / 2);
    if (pos == LeftAxis)
        P.left = std::max(P.left, R.left + thickness);
    else
        P.right = std::min(P.right, R.right - thickness);
    return thickness;
}

ChartRect ScrollBarRect(int pos, const ChartRect& P, int t) {
    switch (pos) {
        case BottomAxis:
            return {P.left + 1, P.bottom - t, P.right, P.bottom};
        case TopAxis:
            return {P.left + 1, P.top + 1, P.right, P.top + 1 + t};
        case LeftAxis:
            return {P.left + 1, P.top + 1, P.left + 1 + t, P.bottom};
        default:  // RightAxis
            return {P.right - t, P.top + 1, P.right, P.bottom};
    }
}

ChartRect ShrinkForLegend(ChartRect R, const ChartRect& legend, LegendDock dock) {
    switch (dock) {
        case DockRight:
            R.right = legend.left + 2;
            break;
        case DockLeft:
            R.left = legend.right - 2;
            break;
        case DockTop:
            R.top = legend.bottom + 2;
            break;
        case DockBottom:
            R.bottom = legend.top - 2;
            break;
        default:
            break;
    }
    return R;
}

ChartRect LegendRectFor(const LegendLayout& layout, const std::vector<ChartSize>& names,
                        const ChartRect& area) {
    if (names.empty()) return {};
    int widthSum = 0, heightSum = 0, maxW = 0, maxH = 0;
    for (const ChartSize& n : names) {
        maxW = std::max(maxW, n.width);
        maxH = std::max(maxH, n.height);
        widthSum += layout.symbol.width + 14 + n.width;
        heightSum += std::max(n.height, layout.symbol.height) + 2;
    }
    int width, height;
    if (layout.horizontal) {
        width = widthSum - 6;
        height = std::max(maxH, layout.symbol.height) + 8;
    } else {
        width = 12 + layout.symbol.width + maxW;
        height = heightSum + 6;
    }
    if (!layout.docked)
        return {layout.freeLeft, layout.freeTop, layout.freeLeft + width,
                layout.freeTop + height + 2};
    int left = 0, top = 0;
    switch (layout.dock) {
        case DockRight:
            top = (area.bottom - area.top) / 2 - (height + 2) / 2;
            left = area.right - width - 6;
            break;
        case DockLeft:
            top = (area.bottom - area.top) / 2 - (height + 2) / 2;
            left = area.left + 3;
            break;
        case DockTop:
            top = area.top + 3;
            left = (area.right - area.left) / 2 - width / 2;
            break;
        default:
            top = area.bottom - height - 2;
            left = (area.right - area.left) / 2 - width / 2;
            break;
    }
    return {left, top, left + width, top + height};
}

std::vector<LegendRow> LegendRows(const LegendLayout& layout, const ChartRect& legend,
                                  const std::vector<ChartSize>& names) {
    std::vector<LegendRow> rows;
    const ChartSize sym = layout.symbol;
    ChartRect symbol{legend.left + 2, legend.top + 5, legend.left + 2 + sym.width,
                     legend.top + 6 + sym.height};
    for (const ChartSize& n : names) {
        LegendRow row;
        int rowHeight;
        row.symbol = symbol;
        row.textX = symbol.right + 4;
        if (n.height > sym.height) {
            row.textY = symbol.top;
            const int shift = n.height / 2 - sym.height / 2;
            row.symbol.top += shift;
            row.symbol.bottom += shift;
            rowHeight = n.height;
        } else {
            row.textY = (symbol.top + symbol.bottom) / 2 - n.height / 2;
            rowHeight = sym.height;
        }
        rows.push_back(row);
        if (layout.horizontal) {
            const int dx = sym.width + 14 + n.width;
            symbol.left += dx;
            symbol.right += dx;
        } else {
            symbol.top += rowHeight + 2;
            symbol.bottom += rowHeight + 2;
        }
    }
    return rows;
}

ChartSize TitleSizeFor(const std::vector<ChartSize>& lines) {
    if (lines.empty()) return {};
    ChartSize size{0, 4};
    for (const ChartSize& l : lines) {
        size.height += l.height + 2;
        size.width = std::max(size.width, l.width);
    }
    size.width += 2;
    return size;
}

std::vector<TextOrigin> TitleLineOrigins(const ChartRect& rect,
                                         const std::vector<ChartSize>& lines) {
    std::vector<TextOrigin> origins;
    int y = rect.top + 4;
    for (const ChartSize& l : lines) {
        origins.push_back({rect.left + std::abs(rect.right - rect.left) / 2 - l.width / 2, y});
        y += l.height + 2;
    }
    return origins;
}

}  // namespace chart
