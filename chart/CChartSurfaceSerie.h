#pragma once

#include <QBrush>

#include "chart/CChartSerieBase.h"

namespace chart {

// Points drawn as a filled area between the curve and one edge of the plotting rectangle:
// the bottom (or top) edge for a horizontal surface, the left (or right) one for a vertical
// surface, whichever side the series' other axis is on.
class CChartSurfaceSerie : public CChartXYSerie {
public:
    enum FillStyle {
        SolidFill = 0,
        HatchDownDiag = 1,
        HatchUpDiag = 2,
        HatchCross = 3,
        HatchDiagCross = 4,
        HatchHorizontal = 5,
        HatchVertical = 6
    };

    explicit CChartSurfaceSerie(ChartHost* parent) : CChartXYSerie(parent) {}

    void SetFillStyle(int style);
    int GetFillStyle() const { return fillStyle_; }
    // A horizontal surface keeps its points in X order, a vertical one in Y order.
    void SetHorizontal(bool horizontal);
    bool IsHorizontal() const { return horizontal_; }

    // The ordering follows SetHorizontal only.
    void SetSeriesOrdering(ESeriesOrdering) override {}
    bool IsPointOnSerie(const QPoint& point, int& index) const override;
    void DrawLegend(QPainter& p, const ChartRect& symbol) const override;
    void Draw(QPainter& p) override { DrawAll(p); }
    void DrawAll(QPainter& p) override;

    // The closed outline: the visible points (widened by one each side) plus two corners on
    // the base line. Empty when nothing is visible.
    std::vector<QPoint> SurfacePolygon() const;

private:
    QBrush FillBrush() const;
    // Where the area is closed: a y for horizontal surfaces, an x for vertical ones.
    int BaseLine() const;

    int fillStyle_ = HatchDownDiag;
    bool horizontal_ = true;
};

}  // namespace chart
