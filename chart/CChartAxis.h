#pragma once

#include <QPainter>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "chart/AxisMath.h"
#include "chart/CChartAxisLabel.h"
#include "chart/CChartGrid.h"
#include "chart/ChartTypes.h"
#include "chart/LayoutMath.h"

namespace chart {

class ChartHost;
class PlottedSerie;
class CChartScrollBar;

// One axis of the chart: range (with the unzoomed range kept for undo), mapping between values
// and pixels, ticks with labels, the axis label, the grid and the scroll bar. Value spacing is
// left to the subclasses (CChartStandardAxis is the linear one).
class CChartAxis {
public:
    enum EAxisAutoModes { NotAutomatic = 0, FullAutomatic = 1, ScreenAutomatic = 2 };

    CChartAxis();
    virtual ~CChartAxis();
    CChartAxis(const CChartAxis&) = delete;
    CChartAxis& operator=(const CChartAxis&) = delete;

    virtual void SetDiscrete(bool discrete);
    virtual double ScreenToValue(int pixel) const;
    virtual double GetFirstTickValue() const = 0;
    virtual bool GetNextTickValue(double current, double& next) const = 0;
    // Pixel of a tick mark.
    virtual int ValueToScreen(double value) const = 0;
    virtual int ValueToScreenDiscrete(double value) const = 0;
    virtual int ValueToScreenStandard(double value) const;
    virtual QString GetTickLabel(double value) const = 0;
    virtual void RefreshTickIncrement() = 0;
    virtual void RefreshFirstTick() = 0;
    virtual ScrollSteps GetScrollbarSteps() const;
    virtual void SetAxisToScrollStep(int previousPos, int currentPos, bool reverse);
    virtual void PanAxis(int fromPixel, int toPixel);
    virtual void SetZoomMinMax(double low, double high);

    // A non-finite limit is ignored: the axis keeps its previous range.
    void SetMinMax(double min, double max);
    double GetMin() const { return min_; }
    double GetMax() const { return max_; }
    ValueRange GetUnzoomedRange() const { return {unzoomedMin_, unzoomedMax_}; }
    void SetAutomaticMode(EAxisAutoModes mode);
    EAxisAutoModes GetAutomaticMode() const { return autoMode_; }
    void RefreshAutoAxis();
    void UndoZoom();
    void SetZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    bool IsZoomEnabled() const { return zoomEnabled_; }
    void SetZoomLimit(double limit) { zoomLimit_ = limit; }
    void SetInverted(bool inverted);
    bool IsInverted() const { return inverted_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetAutomaticTicks(bool automatic) { automaticTicks_ = automatic; }
    bool IsAutomaticTicks() const { return automaticTicks_; }
    bool IsDiscrete() const { return discrete_; }
    bool IsHorizontal() const { return horizontal_; }
    bool IsSecondary() const { return secondary_; }
    // The position this axis takes (left, bottom, right or top).
    int Position() const;

    // Pixel of tick labels and series points (the middle of the axis when min == max).
    int ValueToPixel(double value) const;
    // Mapping inputs at the current layout.
    AxisSpan Span() const { return {min_, max_, start_, end_, horizontal_, inverted_}; }

    CChartAxisLabel* GetLabel() { return &label_; }
    CChartGrid* GetGrid() { return &grid_; }
    CChartScrollBar* GetScrollBar() const { return scrollBar_.get(); }
    const ChartRect& GetAxisRect() const { return rect_; }
    int GetMargin() const { return margin_; }

    // Series plotted against the axis (not owned).
    void RegisterSeries(PlottedSerie* serie);
    void UnregisterSeries(PlottedSerie* serie);
    const std::vector<PlottedSerie*>& Series() const { return series_; }

    // Called by the control while it lays out and draws.
    void AttachTo(ChartHost* parent, int position, std::unique_ptr<CChartScrollBar> bar);
    void SetPlacement(const AxisPlacement& placement);
    ChartSize GetLargestTick(QPainter& p) const;
    int ClipMargin(QPainter& p, const ChartRect& R, ChartRect& P);
    void Draw(QPainter& p);
    void RefreshScrollBar();

protected:
    // Calls `visit` for every tick from the first one up to max (inclusive), but for no more
    // ticks than the axis has pixels (plus two).
    void ForEachTick(const std::function<void(double)>& visit) const;
    ChartHost* Parent() const { return parent_; }
    void RefreshParent() const;
    // Current distance between ticks (0 when min == max).
    virtual double TickIncrement() const = 0;

private:
    void DrawTick(QPainter& p, double value, bool markable, const ChartSize& labelSize);
    std::optional<ValueRange> SeriesExtent(bool visibleOnly) const;

    ChartHost* parent_ = nullptr;
    bool horizontal_ = true;
    bool inverted_ = false;
    EAxisAutoModes autoMode_ = NotAutomatic;
    bool visible_ = true;
    bool secondary_ = false;
    double max_ = 0.0;
    double min_ = 0.0;
    double unzoomedMin_ = 0.0;
    double unzoomedMax_ = 0.0;
    bool automaticTicks_ = true;
    bool discrete_ = false;
    int start_ = 0;
    int end_ = 0;
    ChartRect rect_;
    int tickFontSize_ = 80;
    QString tickFontFace_ = QStringLiteral("Microsoft Sans Serif");
    ChartColor textColor_ = 0x000000;
    ChartColor axisColor_ = 0x000000;
    CChartGrid grid_;
    CChartAxisLabel label_;
    std::vector<PlottedSerie*> series_;
    bool automaticMargin_ = true;
    int margin_ = 0;
    bool zoomEnabled_ = true;
    double zoomLimit_ = 0.001;
    std::unique_ptr<CChartScrollBar> scrollBar_;
};

}  // namespace chart
