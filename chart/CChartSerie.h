#pragma once

#include <QPainter>
#include <QPoint>
#include <QString>

#include "chart/ChartMouse.h"
#include "chart/ChartTypes.h"
#include "chart/PlottedSerie.h"

namespace chart {

class ChartHost;
class CChartAxis;

enum ESeriesOrdering { NoOrdering = 0, XOrdering = 1, YOrdering = 2 };

// What every series has: name, colour, visibility, its two axes and a process-wide id that
// orders drawing in the control.
class CChartSerie : public PlottedSerie {
public:
    explicit CChartSerie(ChartHost* parent);
    ~CChartSerie() override;
    CChartSerie(const CChartSerie&) = delete;
    CChartSerie& operator=(const CChartSerie&) = delete;

    virtual unsigned GetPointsCount() const = 0;
    virtual QPoint GetPointScreenCoord(unsigned index) const = 0;
    // Finds whether the point lies on the series; `index` gets a point index or -1.
    virtual bool IsPointOnSerie(const QPoint& point, int& index) const = 0;
    virtual bool GetVisiblePoints(unsigned& first, unsigned& last) const = 0;
    virtual void DrawLegend(QPainter& p, const ChartRect& symbol) const = 0;
    virtual void Draw(QPainter& p) = 0;
    virtual void DrawAll(QPainter& p) = 0;
    virtual void DrawLabels(QPainter& p) = 0;
    virtual bool OnMouseEvent(ChartMouseEvent event, const QPoint& point) = 0;
    virtual void SetSeriesOrdering(ESeriesOrdering ordering) = 0;

    void SetName(const QString& name);
    const QString& GetName() const { return name_; }
    void SetColor(ChartColor color);
    ChartColor GetColor() const { return color_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    unsigned GetSerieId() const { return id_; }
    ChartColor GetShadowColor() const { return shadowColor_; }
    int GetShadowDepth() const { return shadowDepth_; }

    void SetPlottingRect(const ChartRect& rect) { drawingRect_ = rect; }
    const ChartRect& GetPlottingRect() const { return drawingRect_; }
    void SetVerticalAxis(CChartAxis* axis) { verticalAxis_ = axis; }
    void SetHorizontalAxis(CChartAxis* axis) { horizontalAxis_ = axis; }
    CChartAxis* GetVerticalAxis() const { return verticalAxis_; }
    CChartAxis* GetHorizontalAxis() const { return horizontalAxis_; }
    // The axis is going away: the series stops using it.
    void ForgetAxis(const CChartAxis* axis) override;
    ChartHost* GetParent() const { return parent_; }

    void SetNotifyClicks(bool notify) { notifyClicks_ = notify; }
    void SetNotifyMoves(bool notify) { notifyMoves_ = notify; }

protected:
    void RefreshParent() const;
    bool NotifiesEvent(ChartMouseEvent event) const {
        return event == MouseMove ? notifyMoves_ : notifyClicks_;
    }

private:
    ChartHost* parent_;
    CChartAxis* verticalAxis_ = nullptr;
    CChartAxis* horizontalAxis_ = nullptr;
    QString name_;
    bool visible_ = true;
    ChartColor color_ = 0;
    ChartColor shadowColor_ = 0x969696;
    int shadowDepth_ = 2;
    ChartRect drawingRect_;
    unsigned id_;
    bool notifyClicks_ = true;
    bool notifyMoves_ = false;
};

}  // namespace chart
