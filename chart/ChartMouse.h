#pragma once

#include <QPainter>
#include <QPoint>

// Mouse notifications and overlay cursors: extension points of the chart control.
namespace chart {

class CChartAxis;

enum ChartMouseEvent {
    MouseMove = 0,
    LButtonUp = 1,
    LButtonDown = 2,
    LButtonDoubleClick = 3,
    RButtonUp = 4,
    RButtonDown = 5,
    RButtonDoubleClick = 6
};

// Told where a mouse event happened on the chart (title, legend, an axis, the plot area).
class CChartMouseListener {
public:
    virtual ~CChartMouseListener() = default;
    virtual void OnMouseEventTitle(ChartMouseEvent, const QPoint&) {}
    virtual void OnMouseEventLegend(ChartMouseEvent, const QPoint&) {}
    virtual void OnMouseEventAxis(ChartMouseEvent, const QPoint&, CChartAxis*) {}
    virtual void OnMouseEventPlotArea(ChartMouseEvent, const QPoint&) {}
};

// An object drawn over the chart (after the back buffer) that follows the mouse.
class CChartCursor {
public:
    virtual ~CChartCursor() = default;
    virtual void Draw(QPainter& p) = 0;
    virtual void OnMouseMove(const QPoint&) {}
    virtual void OnMouseButtonDown(const QPoint&) {}
    virtual void OnMouseButtonUp(const QPoint&) {}
};

}  // namespace chart
