#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <map>
#include <memory>

#include "chart/AxisMath.h"
#include "chart/CChartAxis.h"
#include "chart/CChartLegend.h"
#include "chart/CChartSerie.h"
#include "chart/CChartTitle.h"
#include "chart/ChartHost.h"
#include "chart/ChartMouse.h"
#include "chart/ChartTypes.h"

class QPrinter;

namespace chart {

class CChartStandardAxis;
class CChartScrollBar;

// A two-dimensional chart window: up to four axes around a plotting rectangle, series drawn
// in id order, a legend and a title. Every change redraws the whole chart into a back buffer
// which painting only copies. The left button drags a zoom band (dragging left or up undoes
// the zoom), the right button pans; the chart prints on one page.
class CChartCtrl : public QWidget, public ChartHost {
    Q_OBJECT
public:
    explicit CChartCtrl(QWidget* parent = nullptr);
    ~CChartCtrl() override;

    // Creates a linear axis at the position (replacing any axis there); the control owns it.
    CChartStandardAxis* CreateStandardAxis(EAxisPos pos);
    void AttachCustomAxis(std::unique_ptr<CChartAxis> axis, EAxisPos pos);
    CChartAxis* GetAxis(int pos) const override;
    CChartTitle* GetTitle() { return title_.get(); }
    CChartLegend* GetLegend() { return legend_.get(); }

    // Takes the series (constructed with this control as parent), gives it the next palette
    // colour and the left and bottom axes; returns it for further set-up.
    template <class Serie>
    Serie* AddSerie(std::unique_ptr<Serie> serie) {
        Serie* raw = serie.get();
        AdoptSerie(std::unique_ptr<CChartSerie>(serie.release()));
        return raw;
    }
    const SeriesMap& Series() const override { return series_; }

    // Redraws the back buffer and schedules a paint; deferred while refresh is disabled.
    void RefreshCtrl() override;
    // Nested disable/enable; the enable that brings the counter back to 1 runs a deferred
    // refresh once.
    void EnableRefresh(bool enable) override;
    void UndoZoom();

    // Prints the chart on one page. Without a printer the print dialog asks for one.
    // Returns false when the dialog is cancelled or the document could not be written.
    virtual bool Print(const QString& title, QPrinter* printer = nullptr);

    virtual void DrawChart(QPainter& p, ChartRect rect);
    virtual void DrawBackground(QPainter& p, const ChartRect& rect);

    // Appearance and behaviour switches (the console keeps their defaults).
    void SetBackColor(ChartColor color);
    void SetBackGradient(ChartColor c1, ChartColor c2, int type);
    void SetBorderColor(ChartColor color);
    void SetEdgeType(int edgeType);
    void SetPanEnabled(bool enabled) { panEnabled_ = enabled; }
    void SetZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    void SetZoomRectColor(ChartColor color) { zoomRectColor_ = color; }
    void ShowMouseCursor(bool show) { showMouseCursor_ = show; }
    void SetMouseListener(CChartMouseListener* listener) { mouseListener_ = listener; }
    unsigned AddCursor(std::unique_ptr<CChartCursor> cursor);
    void RemoveCursor(unsigned id);

    ChartColor GetBackColor() const { return backColor_; }
    ChartColor GetBorderColor() const { return borderColor_; }
    const ChartRect& GetPlottingRect() const override { return plottingRect_; }
    const QImage& BackBuffer() const { return backBuffer_; }
    // How many times the back buffer has been redrawn (refreshes actually performed).
    int RedrawCount() const { return redrawCount_; }
    bool IsRefreshPending() const { return refreshPending_; }

    // Moves the axis of a scroll bar as the scroll request asks.
    void OnScroll(CChartScrollBar* bar, ScrollRequest request, int trackPos);

    static ChartColor DefaultSerieColor(size_t index);

protected:
    virtual void OnBeginPrinting(QPainter& p, QPrinter& printer);
    virtual void OnPrint(QPainter& p, QPrinter& printer);
    virtual void OnEndPrinting();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void AdoptSerie(std::unique_ptr<CChartSerie> serie);
    void SendMouseEvent(ChartMouseEvent event, const QPoint& p);
    // Over the plotting rectangle: every cursor hears the event and the window repaints.
    bool TellCursors(const QPoint& p, void (CChartCursor::*event)(const QPoint&));
    void PlaceScrollBars();
    void ZoomToBand();
    void ForEachAxis(const std::function<void(int, CChartAxis&)>& visit) const;

    int refreshCounter_ = 1;
    bool refreshPending_ = false;
    QImage backBuffer_;
    bool firstPaintDone_ = false;
    bool backGradient_ = false;
    ChartColor gradientColor1_;
    ChartColor gradientColor2_;
    int gradientType_ = 1;
    ChartColor backColor_;
    ChartColor borderColor_ = 0x000000;
    int edgeType_ = 5;
    ChartRect plottingRect_;
    SeriesMap series_;
    std::array<std::unique_ptr<CChartAxis>, kAxisCount> axes_;
    std::unique_ptr<CChartLegend> legend_;
    std::unique_ptr<CChartTitle> title_;
    bool panEnabled_ = true;
    bool panning_ = false;
    QPoint lastPanPoint_;
    bool zoomEnabled_ = true;
    bool zooming_ = false;
    QPoint zoomStart_;
    QPoint zoomEnd_;
    ChartColor zoomRectColor_ = 0xFFFFFF;
    QFont printerFont_;
    ChartSize logicalPageSize_;
    ChartSize printerPageSize_;
    std::map<unsigned, std::unique_ptr<CChartCursor>> cursors_;
    unsigned nextCursorId_ = 0;
    CChartMouseListener* mouseListener_ = nullptr;
    bool showMouseCursor_ = true;
    int redrawCount_ = 0;
};

}  // namespace chart
