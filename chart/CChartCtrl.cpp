#include "chart/CChartCtrl.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "chart/CChartScrollBar.h"
#include "chart/CChartStandardAxis.h"
#include "chart/ChartDraw.h"
#include "chart/LayoutMath.h"

namespace chart {
namespace {

constexpr std::array<ChartColor, 10> kPalette = {0x0000FF, 0x009600, 0xFF0000, 0x00FFFF, 0xFFFF00,
                                                 0x0080FF, 0x800080, 0x008080, 0xFF00FF, 0x808040};

// Layout and drawing walk the axes in this order.
constexpr std::array<int, 4> kLayoutOrder = {LeftAxis, BottomAxis, RightAxis, TopAxis};
// Zooming walks them in this one.
constexpr std::array<int, 4> kZoomOrder = {BottomAxis, LeftAxis, TopAxis, RightAxis};

std::optional<ScrollRequest> RequestFor(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return ScrollRequest::LineUp;
        case QAbstractSlider::SliderSingleStepAdd:
            return ScrollRequest::LineDown;
        case QAbstractSlider::SliderPageStepSub:
            return ScrollRequest::PageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return ScrollRequest::PageDown;
        case QAbstractSlider::SliderToMinimum:
            return ScrollRequest::Top;
        case QAbstractSlider::SliderToMaximum:
            return ScrollRequest::Bottom;
        case QAbstractSlider::SliderMove:
            return ScrollRequest::ThumbTrack;
        default:
            return std::nullopt;
    }
}

}  // namespace

ChartColor CChartCtrl::DefaultSerieColor(size_t index) {
    return kPalette[index % kPalette.size()];
}

CChartCtrl::CChartCtrl(QWidget* parent)
    : QWidget(parent),
      gradientColor1_(SystemButtonFace()),
      gradientColor2_(SystemButtonFace()),
      backColor_(SystemButtonFace()),
      legend_(std::make_unique<CChartLegend>(this)),
      title_(std::make_unique<CChartTitle>(this)) {
    // The back buffer covers every pixel; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

CChartCtrl::~CChartCtrl() {
    // Series first: they unregister themselves from their axes.
    series_.clear();
    cursors_.clear();
    for (auto& axis : axes_) axis.reset();
    legend_.reset();
    title_.reset();
}

CChartStandardAxis* CChartCtrl::CreateStandardAxis(EAxisPos pos) {
    auto axis = std::make_unique<CChartStandardAxis>();
    CChartStandardAxis* raw = axis.get();
    AttachCustomAxis(std::move(axis), pos);
    return raw;
}

void CChartCtrl::AttachCustomAxis(std::unique_ptr<CChartAxis> axis, EAxisPos pos) {
    if (!axis || pos < 0 || pos >= kAxisCount) return;
    const Qt::Orientation orientation = IsHorizontalPosition(pos) ? Qt::Horizontal : Qt::Vertical;
    auto bar = std::make_unique<CChartScrollBar>(axis.get(), orientation, this);
    bar->hide();
    const QSize hint = bar->sizeHint();
    const int thickness = orientation == Qt::Horizontal ? hint.height() : hint.width();
    bar->setGeometry(ToQRect(ScrollBarRect(pos, plottingRect_, thickness)));
    CChartScrollBar* rawBar = bar.get();
    connect(rawBar, &QAbstractSlider::actionTriggered, this, [this, rawBar](int action) {
        if (const std::optional<ScrollRequest> request = RequestFor(action)) {
            OnScroll(rawBar, *request, rawBar->sliderPosition());
            rawBar->setSliderPosition(rawBar->GetScrollInfo().pos);
        }
    });
    axis->AttachTo(this, pos, std::move(bar));
    axes_[static_cast<size_t>(pos)] = std::move(axis);
}

CChartAxis* CChartCtrl::GetAxis(int pos) const {
    if (pos < 0 || pos >= kAxisCount) return nullptr;
    return axes_[static_cast<size_t>(pos)].get();
}

void CChartCtrl::ForEachAxis(const std::function<void(int, CChartAxis&)>& visit) const {
    for (int pos : kLayoutOrder)
        if (CChartAxis* axis = GetAxis(pos)) visit(pos, *axis);
}

void CChartCtrl::AdoptSerie(std::unique_ptr<CChartSerie> serie) {
    if (!serie) return;
    CChartSerie* raw = serie.get();
    raw->SetPlottingRect(plottingRect_);
    raw->SetColor(DefaultSerieColor(series_.size()));
    CChartAxis* left = GetAxis(LeftAxis);
    CChartAxis* bottom = GetAxis(BottomAxis);
    raw->SetVerticalAxis(left);
    raw->SetHorizontalAxis(bottom);
    // An entry with the same id is replaced; it must let go of its axes before it goes.
    series_[raw->GetSerieId()] = std::move(serie);
    EnableRefresh(false);
    if (left) {
        left->RegisterSeries(raw);
        left->RefreshAutoAxis();
    }
    if (bottom) {
        bottom->RegisterSeries(raw);
        bottom->RefreshAutoAxis();
    }
    RefreshCtrl();
    EnableRefresh(true);
}

void CChartCtrl::EnableRefresh(bool enable) {
    refreshCounter_ += enable ? 1 : -1;
    if (refreshCounter_ >= 1 && refreshPending_) {
        refreshPending_ = false;
        RefreshCtrl();
    }
}

void CChartCtrl::RefreshCtrl() {
    if (refreshCounter_ < 1) {
        refreshPending_ = true;
        return;
    }
    const ChartRect client{0, 0, width(), height()};
    plottingRect_ = client;
    if (client.IsEmpty()) return;
    if (backBuffer_.isNull() || backBuffer_.size() != size())
        backBuffer_ = QImage(size(), QImage::Format_RGB32);
    {
        QPainter p(&backBuffer_);
        DrawBackground(p, client);
        DrawChart(p, client.Deflated(3));
    }
    ++redrawCount_;
    PlaceScrollBars();
    update();
}

void CChartCtrl::PlaceScrollBars() {
    ForEachAxis([this](int pos, CChartAxis& axis) {
        CChartScrollBar* bar = axis.GetScrollBar();
        if (!bar) return;
        const int t = IsHorizontalPosition(pos) ? bar->height() : bar->width();
        bar->setGeometry(ToQRect(ScrollBarRect(pos, plottingRect_, t)));
    });
}

void CChartCtrl::DrawBackground(QPainter& p, const ChartRect& rect) {
    if (backGradient_)
        FillGradient(p, rect, gradientType_, gradientColor1_, gradientColor2_);
    else
        p.fillRect(ToQRect(rect), ToQColor(backColor_));
    DrawEdge(p, rect, edgeType_);
}

void CChartCtrl::DrawChart(QPainter& p, ChartRect R) {
    ChartRect& P = plottingRect_;
    P = R;

    title_->SetRect({R.left, R.top, R.right, R.top});
    const ChartSize titleSize = title_->GetSize(p);
    title_->SetRect({R.left, R.top, R.right, R.top + titleSize.height});
    R.top += titleSize.height;
    title_->Draw(p);

    legend_->UpdatePosition(p, R);
    if (!legend_->GetRect().IsEmpty() && legend_->IsDocked())
        R = ShrinkForLegend(R, legend_->GetRect(), legend_->GetDockSide());

    // The first pass measures the axes and shrinks P; the second lays them out on the final P.
    auto layOut = [&](int pos, CChartAxis& axis) {
        axis.SetPlacement(PlaceAxis(pos, P, R));
        if (axis.IsAutomaticTicks()) axis.RefreshTickIncrement();
        axis.RefreshFirstTick();
    };
    ForEachAxis([&](int pos, CChartAxis& axis) {
        layOut(pos, axis);
        axis.ClipMargin(p, R, P);
    });
    ForEachAxis([&](int pos, CChartAxis& axis) {
        layOut(pos, axis);
        axis.Draw(p);
    });

    DrawBox(p, {P.left, P.top}, {P.right, P.bottom}, ToQColor(borderColor_));

    for (auto& [id, serie] : series_) {
        serie->SetPlottingRect({P.left, P.top, P.right + 1, P.bottom + 1});
        if (serie->IsVisible()) serie->DrawAll(p);
    }
    {
        PainterState keep(p);
        p.setClipRect(ToQRect(P));
        for (auto& [id, serie] : series_) serie->DrawLabels(p);
    }
    legend_->Draw(p);
}

void CChartCtrl::UndoZoom() {
    EnableRefresh(false);
    ForEachAxis([](int, CChartAxis& axis) { axis.UndoZoom(); });
    EnableRefresh(true);
}

void CChartCtrl::SetBackColor(ChartColor color) {
    backColor_ = color;
    RefreshCtrl();
}

void CChartCtrl::SetBackGradient(ChartColor c1, ChartColor c2, int type) {
    backGradient_ = true;
    gradientColor1_ = c1;
    gradientColor2_ = c2;
    gradientType_ = type;
    RefreshCtrl();
}

void CChartCtrl::SetBorderColor(ChartColor color) {
    borderColor_ = color;
    RefreshCtrl();
}

void CChartCtrl::SetEdgeType(int edgeType) {
    edgeType_ = edgeType;
    RefreshCtrl();
}

unsigned CChartCtrl::AddCursor(std::unique_ptr<CChartCursor> cursor) {
    const unsigned id = nextCursorId_++;
    cursors_[id] = std::move(cursor);
    update();
    return id;
}

void CChartCtrl::RemoveCursor(unsigned id) {
    cursors_.erase(id);
    update();
}

void CChartCtrl::paintEvent(QPaintEvent*) {
    if (!firstPaintDone_) {
        RefreshCtrl();
        firstPaintDone_ = true;
    }
    QPainter p(this);
    if (!backBuffer_.isNull()) p.drawImage(0, 0, backBuffer_);
    if (zoomEnabled_ && zooming_) DrawBox(p, zoomStart_, zoomEnd_, ToQColor(zoomRectColor_));
    for (auto& [id, cursor] : cursors_) cursor->Draw(p);
}

void CChartCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    backBuffer_ = QImage();
    RefreshCtrl();
}

void CChartCtrl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (panEnabled_ && panning_ && p != lastPanPoint_) {
        EnableRefresh(false);
        ForEachAxis([&](int, CChartAxis& axis) {
            if (axis.IsHorizontal())
                axis.PanAxis(lastPanPoint_.x(), p.x());
            else
                axis.PanAxis(lastPanPoint_.y(), p.y());
        });
        RefreshCtrl();
        EnableRefresh(true);
        repaint();
        lastPanPoint_ = p;
    }
    if (zoomEnabled_ && zooming_) {
        zoomEnd_ = p;
        update();
    }
    CChartScrollBar* under = nullptr;
    ForEachAxis([&](int, CChartAxis& axis) {
        CChartScrollBar* bar = axis.GetScrollBar();
        if (!bar || !bar->IsAutoHide() || !bar->IsScrollEnabled()) return;
        bar->hide();
        if (bar->geometry().contains(p)) under = bar;
    });
    if (under) under->show();
    const bool inPlot = TellCursors(p, &CChartCursor::OnMouseMove);
    setCursor(inPlot && !showMouseCursor_ ? Qt::BlankCursor : Qt::ArrowCursor);
    SendMouseEvent(MouseMove, p);
    QWidget::mouseMoveEvent(event);
}

void CChartCtrl::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (zoomEnabled_) {
            zooming_ = true;
            zoomStart_ = zoomEnd_ = p;
        }
        TellCursors(p, &CChartCursor::OnMouseButtonDown);
        SendMouseEvent(LButtonDown, p);
    } else if (event->button() == Qt::RightButton) {
        panning_ = true;
        if (panEnabled_) lastPanPoint_ = p;
        SendMouseEvent(RButtonDown, p);
    }
    QWidget::mousePressEvent(event);
}

void CChartCtrl::ZoomToBand() {
    for (int pos : kZoomOrder) {
        CChartAxis* axis = GetAxis(pos);
        if (!axis) continue;
        double low, high;
        if (axis->IsHorizontal()) {
            low = axis->ScreenToValue(zoomStart_.x());
            high = axis->ScreenToValue(zoomEnd_.x());
        } else {
            low = axis->ScreenToValue(zoomEnd_.y());
            high = axis->ScreenToValue(zoomStart_.y());
        }
        if (axis->IsInverted()) std::swap(low, high);
        axis->SetZoomMinMax(low, high);
    }
    RefreshCtrl();
}

void CChartCtrl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        zooming_ = false;
        if (zoomEnabled_) {
            if (zoomStart_.x() <= zoomEnd_.x() && zoomStart_.y() <= zoomEnd_.y()) {
                // A click without movement is no band.
                if (zoomStart_.x() != zoomEnd_.x() && zoomStart_.y() != zoomEnd_.y()) ZoomToBand();
            } else {
                UndoZoom();
            }
        }
        TellCursors(p, &CChartCursor::OnMouseButtonUp);
        SendMouseEvent(LButtonUp, p);
    } else if (event->button() == Qt::RightButton) {
        panning_ = false;
        SendMouseEvent(RButtonUp, p);
    }
    QWidget::mouseReleaseEvent(event);
}

void CChartCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        SendMouseEvent(LButtonDoubleClick, p);
    else if (event->button() == Qt::RightButton)
        SendMouseEvent(RButtonDoubleClick, p);
    QWidget::mouseDoubleClickEvent(event);
}

bool CChartCtrl::TellCursors(const QPoint& p, void (CChartCursor::*event)(const QPoint&)) {
    if (!plottingRect_.Contains(p.x(), p.y())) return false;
    for (auto& [id, cursor] : cursors_) (cursor.get()->*event)(p);
    update();
    return true;
}

void CChartCtrl::SendMouseEvent(ChartMouseEvent event, const QPoint& p) {
    if (mouseListener_) {
        if (title_->GetRect().Contains(p.x(), p.y())) mouseListener_->OnMouseEventTitle(event, p);
        if (legend_->GetRect().Contains(p.x(), p.y())) mouseListener_->OnMouseEventLegend(event, p);
        ForEachAxis([&](int, CChartAxis& axis) {
            if (axis.GetAxisRect().Contains(p.x(), p.y()))
                mouseListener_->OnMouseEventAxis(event, p, &axis);
        });
        if (plottingRect_.Contains(p.x(), p.y())) mouseListener_->OnMouseEventPlotArea(event, p);
    }
    for (auto it = series_.rbegin(); it != series_.rend(); ++it)
        if (it->second->OnMouseEvent(event, p)) break;
}

void CChartCtrl::OnScroll(CChartScrollBar* bar, ScrollRequest request, int trackPos) {
    const CChartScrollBar::Info info = bar->GetScrollInfo();
    const std::optional<int> next =
        NextScrollPosition(request, info.pos, info.min, info.max, trackPos);
    if (next) {
        bar->SetScrollPos(*next);
        CChartAxis* axis = bar->GetAxis();
        const bool reverse = axis->IsInverted() ? axis->IsHorizontal() : !axis->IsHorizontal();
        axis->SetAxisToScrollStep(info.pos, *next, reverse);
    }
    RefreshCtrl();
}

bool CChartCtrl::Print(const QString& title, QPrinter* printer) {
    std::unique_ptr<QPrinter> chosen;
    if (!printer) {
        chosen = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QPrintDialog dialog(chosen.get(), this);
        // Whole chart on one page: no selection, no page range, no print-to-file choice.
        dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize |
                          QAbstractPrintDialog::PrintCollateCopies);
        if (dialog.exec() != QDialog::Accepted) return false;
        printer = chosen.get();
    }
    printer->setDocName(title);
    printer->setFromTo(1, 1);
    QPainter p;
    if (!p.begin(printer)) return false;
    OnBeginPrinting(p, *printer);
    OnPrint(p, *printer);
    const bool ok = p.end();
    OnEndPrinting();
    return ok;
}

void CChartCtrl::OnBeginPrinting(QPainter& p, QPrinter& printer) {
    printerFont_ = QFont(QStringLiteral("Arial"));
    printerFont_.setPixelSize(10);
    printerFont_.setWeight(QFont::Normal);
    FontSelection font(p, printerFont_);
    logicalPageSize_ = {printer.width() * ScreenDpiX() / printer.logicalDpiX() * 3 / 4,
                        printer.height() * ScreenDpiY() / printer.logicalDpiY() * 3 / 4};
    printerPageSize_ = {printer.width(), printer.height()};
}

void CChartCtrl::OnPrint(QPainter& p, QPrinter&) {
    PainterState keep(p);
    p.setFont(printerFont_);
    // Screen-sized logical units stretched over the printable page.
    p.setWindow(0, 0, logicalPageSize_.width, logicalPageSize_.height);
    p.setViewport(0, 0, printerPageSize_.width, printerPageSize_.height);
    DrawChart(p, {0, 0, logicalPageSize_.width, logicalPageSize_.height});
}

void CChartCtrl::OnEndPrinting() {
    printerFont_ = QFont();
    RefreshCtrl();
}

}  // namespace chart
