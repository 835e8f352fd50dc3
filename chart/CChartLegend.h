#pragma once

#include <QPainter>
#include <QString>
#include <vector>

#include "chart/ChartTypes.h"
#include "chart/LayoutMath.h"

namespace chart {

class ChartHost;
class CChartSerie;

// A box listing the visible, named series with a symbol each; docked at one side of the chart
// or at a free position. Hidden unless shown.
class CChartLegend {
public:
    enum DockSide {
        dsDockRight = DockRight,
        dsDockLeft = DockLeft,
        dsDockTop = DockTop,
        dsDockBottom = DockBottom
    };

    explicit CChartLegend(ChartHost* parent) : parent_(parent) {}

    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void DockLegend(DockSide side);
    void UndockLegend(int left, int top);
    bool IsDocked() const { return layout_.docked; }
    LegendDock GetDockSide() const { return layout_.dock; }
    void SetHorizontalMode(bool horizontal);
    void SetTransparent(bool transparent);
    void SetShadow(bool shadow);
    void SetBackgroundColor(ChartColor color);
    void SetFont(const QString& face, int tenths);

    // Computes the legend's rectangle inside `area` (empty when nothing is listed).
    void UpdatePosition(QPainter& p, const ChartRect& area);
    const ChartRect& GetRect() const { return rect_; }
    void Draw(QPainter& p);

private:
    std::vector<const CChartSerie*> ListedSeries() const;
    std::vector<ChartSize> MeasureNames(QPainter& p,
                                        const std::vector<const CChartSerie*>& listed) const;
    void RefreshParent() const;

    ChartHost* parent_;
    ChartRect rect_;
    QString fontFace_ = QStringLiteral("Times New Roman");
    int fontSize_ = 100;
    LegendLayout layout_;
    bool visible_ = false;
    bool transparent_ = false;
    bool shadow_ = true;
    int shadowDepth_ = 3;
    ChartColor backColor_ = 0xFFFFFF;
    ChartColor shadowColor_ = 0x000000;
};

}  // namespace chart
