#pragma once

#include <QRect>
#include <vector>

#include "chart/CChartSerieBase.h"

namespace chart {

// Points drawn as vertical bars: each centred on its X, `barWidth` axis units wide, from the
// value 0 (or the edge of the vertical axis' range nearer to it) up or down to its Y. A bar of
// height 0 draws nothing.
class CChartBarSerie : public CChartXYSerie {
public:
    explicit CChartBarSerie(ChartHost* parent) : CChartXYSerie(parent) {}

    // In units of the horizontal axis; 0.8 leaves a gap between bars one unit apart.
    void SetBarWidth(double width);
    double GetBarWidth() const { return barWidth_; }

    // Bars are kept in X order.
    void SetSeriesOrdering(ESeriesOrdering) override {}
    bool IsPointOnSerie(const QPoint& point, int& index) const override;
    void DrawLegend(QPainter& p, const ChartRect& symbol) const override;
    void Draw(QPainter& p) override { DrawAll(p); }
    void DrawAll(QPainter& p) override;

    // The screen rectangle of a point's bar (empty for a bar of height 0 or without axes).
    QRect BarRect(unsigned index) const;

private:
    double barWidth_ = 0.8;
};

}  // namespace chart
