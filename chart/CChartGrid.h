#pragma once

#include <QPainter>
#include <vector>

#include "chart/ChartTypes.h"

namespace chart {

class ChartHost;

// Dashed lines across the plotting rectangle at every tick of one axis. The grid of a
// horizontal axis draws vertical lines and the other way round.
class CChartGrid {
public:
    void SetParent(ChartHost* parent) { parent_ = parent; }
    void SetHorizontal(bool horizontal) { horizontal_ = horizontal; }
    bool IsHorizontal() const { return horizontal_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetColor(ChartColor color);
    ChartColor GetColor() const { return color_; }

    // Tick pixel positions collected while the axis draws.
    void ClearTicks() { ticks_.clear(); }
    void AddTick(int pixel) { ticks_.push_back(pixel); }
    const std::vector<int>& Ticks() const { return ticks_; }

    // Dashes of 3 pixels every 6 pixels, clipped to the plotting rectangle.
    void Draw(QPainter& p, const ChartRect& plot) const;

private:
    ChartColor color_ = 0x808080;
    ChartHost* parent_ = nullptr;
    bool visible_ = true;
    std::vector<int> ticks_;
    bool horizontal_ = true;
};

}  // namespace chart
