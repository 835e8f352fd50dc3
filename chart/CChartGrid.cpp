#include "chart/CChartGrid.h"

#include "chart/ChartDraw.h"
#include "chart/ChartHost.h"

namespace chart {

void CChartGrid::SetVisible(bool visible) {
    visible_ = visible;
    if (parent_) parent_->RefreshCtrl();
}

void CChartGrid::SetColor(ChartColor color) {
    color_ = color;
    if (parent_) parent_->RefreshCtrl();
}

void CChartGrid::Draw(QPainter& p, const ChartRect& plot) const {
    if (!visible_) return;
    PainterState keep(p);
    p.setClipRect(ToQRect(plot));
    const QColor color = ToQColor(color_);
    for (int q : ticks_) {
        if (horizontal_) {
            for (int y = plot.bottom; y > plot.top; y -= 6) DrawLine(p, {q, y}, {q, y - 3}, color);
        } else {
            for (int x = plot.left; x < plot.right; x += 6) DrawLine(p, {x, q}, {x + 3, q}, color);
        }
    }
}

}  // namespace chart
