#include "chart/CChartBarSerie.h"

#include <algorithm>

#include "chart/ChartDraw.h"

namespace chart {

void CChartBarSerie::SetBarWidth(double width) {
    barWidth_ = width;
    RefreshParent();
}

QRect CChartBarSerie::BarRect(unsigned index) const {
    const CChartAxis* h = GetHorizontalAxis();
    const CChartAxis* v = GetVerticalAxis();
    if (!h || !v || index >= GetPointsCount()) return {};
    const SChartXYPoint& pt = GetPoint(index);
    const double base =
        std::clamp(0.0, std::min(v->GetMin(), v->GetMax()), std::max(v->GetMin(), v->GetMax()));
    const int left = h->ValueToPixel(pt.X - barWidth_ / 2);
    const int right = h->ValueToPixel(pt.X + barWidth_ / 2);
    const int top = v->ValueToPixel(pt.Y);
    const int bottom = v->ValueToPixel(base);
    if (top == bottom || left == right) return {};
    return QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                 QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1));
}

void CChartBarSerie::DrawAll(QPainter& p) {
    unsigned first, last;
    if (!IsVisible() || !GetVisiblePoints(first, last)) return;
    PainterState keep(p);
    p.setClipRect(ToQRect(GetPlottingRect().Deflated(1)));
    const QColor fill = ToQColor(GetColor());
    for (unsigned i = first; i <= last; ++i) {
        const QRect bar = BarRect(i);
        if (bar.isEmpty()) continue;
        p.fillRect(bar, fill);
        DrawBox(p, bar.topLeft(), bar.bottomRight(), Qt::black);
    }
}

void CChartBarSerie::DrawLegend(QPainter& p, const ChartRect& symbol) const {
    if (GetName().isEmpty()) return;
    PainterState keep(p);
    p.fillRect(ToQRect(symbol), ToQColor(GetColor()));
    DrawBox(p, {symbol.left, symbol.top}, {symbol.right - 1, symbol.bottom - 1}, p.pen().color());
}

bool CChartBarSerie::IsPointOnSerie(const QPoint& point, int& index) const {
    index = -1;
    unsigned first, last;
    if (!GetVisiblePoints(first, last)) return false;
    for (unsigned i = first; i <= last; ++i) {
        if (BarRect(i).contains(point)) {
            index = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

}  // namespace chart
