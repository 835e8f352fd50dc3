#include "chart/CChartSurfaceSerie.h"

#include <cstdlib>

#include "chart/ChartDraw.h"

namespace chart {
namespace {

Qt::BrushStyle BrushStyleFor(int fillStyle) {
    switch (fillStyle) {
        case CChartSurfaceSerie::SolidFill:
            return Qt::SolidPattern;
        case CChartSurfaceSerie::HatchDownDiag:
            return Qt::FDiagPattern;
        case CChartSurfaceSerie::HatchUpDiag:
            return Qt::BDiagPattern;
        case CChartSurfaceSerie::HatchCross:
            return Qt::CrossPattern;
        case CChartSurfaceSerie::HatchDiagCross:
            return Qt::DiagCrossPattern;
        case CChartSurfaceSerie::HatchHorizontal:
            return Qt::HorPattern;
        case CChartSurfaceSerie::HatchVertical:
            return Qt::VerPattern;
        default:
            return Qt::SolidPattern;
    }
}

constexpr int kHitDistance = 5;

}  // namespace

void CChartSurfaceSerie::SetFillStyle(int style) {
    fillStyle_ = style;
    RefreshParent();
}

void CChartSurfaceSerie::SetHorizontal(bool horizontal) {
    horizontal_ = horizontal;
    CChartXYSerie::SetSeriesOrdering(horizontal ? XOrdering : YOrdering);
    RefreshParent();
}

QBrush CChartSurfaceSerie::FillBrush() const {
    return QBrush(ToQColor(GetColor()), BrushStyleFor(fillStyle_));
}

int CChartSurfaceSerie::BaseLine() const {
    const ChartRect& r = GetPlottingRect();
    if (horizontal_) {
        const CChartAxis* h = GetHorizontalAxis();
        const int percent = h && h->IsSecondary() ? 0 : 100;
        return r.top + (r.bottom - r.top) * percent / 100;
    }
    const CChartAxis* v = GetVerticalAxis();
    const int percent = v && v->IsSecondary() ? 100 : 0;
    return r.left + (r.right - r.left) * percent / 100;
}

std::vector<QPoint> CChartSurfaceSerie::SurfacePolygon() const {
    unsigned first, last;
    if (!GetHorizontalAxis() || !GetVerticalAxis() || !GetVisiblePoints(first, last)) return {};
    const IndexRange r = WidenByOne({first, last}, GetPointsCount());
    std::vector<QPoint> polygon;
    polygon.reserve(r.last - r.first + 3);
    polygon.emplace_back();
    for (unsigned i = r.first; i <= r.last; ++i) polygon.push_back(GetPointScreenCoord(i));
    const int base = BaseLine();
    const QPoint firstPt = polygon[1], lastPt = polygon.back();
    if (horizontal_) {
        polygon.front() = QPoint(firstPt.x(), base);
        polygon.emplace_back(lastPt.x(), base);
    } else {
        polygon.front() = QPoint(base, firstPt.y());
        polygon.emplace_back(base, lastPt.y());
    }
    return polygon;
}

void CChartSurfaceSerie::DrawAll(QPainter& p) {
    const std::vector<QPoint> polygon = SurfacePolygon();
    if (polygon.empty()) return;
    PainterState keep(p);
    p.setBrush(FillBrush());
    p.setPen(QPen(Qt::black, 1));
    p.setBackgroundMode(Qt::TransparentMode);
    p.setClipRect(ToQRect(GetPlottingRect().Deflated(1)));
    p.drawPolygon(polygon.data(), static_cast<int>(polygon.size()));
}

void CChartSurfaceSerie::DrawLegend(QPainter& p, const ChartRect& symbol) const {
    if (GetName().isEmpty()) return;
    PainterState keep(p);
    p.setBackgroundMode(Qt::TransparentMode);
    p.fillRect(ToQRect(symbol), FillBrush());
    DrawBox(p, {symbol.left, symbol.top}, {symbol.right - 1, symbol.bottom - 1}, p.pen().color());
}

bool CChartSurfaceSerie::IsPointOnSerie(const QPoint& point, int& index) const {
    index = -1;
    const std::vector<QPoint> polygon = SurfacePolygon();
    if (polygon.size() < 4) return false;
    unsigned first, last;
    GetVisiblePoints(first, last);
    const IndexRange r = WidenByOne({first, last}, GetPointsCount());
    const int base = BaseLine();
    // Segments between consecutive curve vertices (polygon indices 1..n).
    for (size_t i = 1; i + 2 < polygon.size(); ++i) {
        const QPoint a = polygon[i], b = polygon[i + 1];
        // Along the curve: x for a horizontal surface, y for a vertical one.
        const int along = horizontal_ ? point.x() : point.y();
        const int a1 = horizontal_ ? a.x() : a.y(), b1 = horizontal_ ? b.x() : b.y();
        if (along < std::min(a1, b1) || along > std::max(a1, b1)) continue;
        const int a2 = horizontal_ ? a.y() : a.x(), b2 = horizontal_ ? b.y() : b.x();
        const double t = b1 == a1 ? 0.0 : static_cast<double>(along - a1) / (b1 - a1);
        const double curve = a2 + t * (b2 - a2);
        const int across = horizontal_ ? point.y() : point.x();
        if (across < std::min<double>(curve, base) || across > std::max<double>(curve, base))
            continue;
        for (size_t k : {i, i + 1}) {
            const QPoint v = polygon[k];
            if (std::abs(v.x() - point.x()) <= kHitDistance &&
                std::abs(v.y() - point.y()) <= kHitDistance) {
                index = static_cast<int>(r.first + (k - 1));
                break;
            }
        }
        return true;
    }
    return false;
}

}  // namespace chart
