#include "chart/CChartAxis.h"

#include <algorithm>
#include <cmath>

#include "chart/CChartScrollBar.h"
#include "chart/ChartDraw.h"
#include "chart/ChartHost.h"
#include "chart/PlottedSerie.h"

namespace chart {
namespace {

// A tick per pixel is the most an axis can draw; a couple more cover the ends.
constexpr int kTicksBeyondPixels = 2;

}  // namespace

CChartAxis::CChartAxis() = default;

CChartAxis::~CChartAxis() {
    for (PlottedSerie* s : series_) s->ForgetAxis(this);
}

void CChartAxis::SetDiscrete(bool discrete) {
    discrete_ = discrete;
    RefreshParent();
}

double CChartAxis::ScreenToValue(int pixel) const {
    return chart::ScreenToValue(Span(), pixel);
}

int CChartAxis::ValueToScreenStandard(double value) const {
    return chart::ValueToScreenStandard(Span(), value);
}

int CChartAxis::ValueToPixel(double value) const {
    return PixelOfValue(Span(), discrete_, TickIncrement(), value);
}

int CChartAxis::Position() const {
    if (horizontal_) return secondary_ ? TopAxis : BottomAxis;
    return secondary_ ? RightAxis : LeftAxis;
}

void CChartAxis::RefreshParent() const {
    if (parent_) parent_->RefreshCtrl();
}

void CChartAxis::SetMinMax(double min, double max) {
    // An infinite or NaN limit has no pixel mapping and no tick walk; the axis keeps its range.
    if (!std::isfinite(min) || !std::isfinite(max)) return;
    min_ = unzoomedMin_ = min;
    max_ = unzoomedMax_ = max;
    RefreshScrollBar();
    RefreshParent();
}

void CChartAxis::SetAutomaticMode(EAxisAutoModes mode) {
    autoMode_ = mode;
    RefreshAutoAxis();
}

void CChartAxis::SetInverted(bool inverted) {
    inverted_ = inverted;
    RefreshScrollBar();
    RefreshParent();
}

void CChartAxis::SetVisible(bool visible) {
    visible_ = visible;
    RefreshParent();
}

std::optional<ValueRange> CChartAxis::SeriesExtent(bool visibleOnly) const {
    // Union over the series that have an extent; series without points do not count.
    std::optional<ValueRange> extent;
    for (const PlottedSerie* s : series_) {
        double lo = 0.0, hi = 0.0;
        bool ok;
        if (horizontal_)
            ok = visibleOnly ? s->GetSerieXScreenMinMax(lo, hi) : s->GetSerieXMinMax(lo, hi);
        else
            ok = visibleOnly ? s->GetSerieYScreenMinMax(lo, hi) : s->GetSerieYMinMax(lo, hi);
        if (!ok) continue;
        if (!extent)
            extent = ValueRange{lo, hi};
        else
            extent = ValueRange{std::min(extent->min, lo), std::max(extent->max, hi)};
    }
    return extent;
}

void CChartAxis::RefreshAutoAxis() {
    RefreshScrollBar();
    if (autoMode_ == NotAutomatic) return;
    const std::optional<ValueRange> fit = SeriesExtent(autoMode_ == ScreenAutomatic);
    if (!fit || (fit->min == min_ && fit->max == max_)) return;
    if (!std::isfinite(fit->min) || !std::isfinite(fit->max)) return;
    min_ = unzoomedMin_ = fit->min;
    max_ = unzoomedMax_ = fit->max;
    RefreshScrollBar();
    RefreshParent();
}

void CChartAxis::UndoZoom() {
    min_ = unzoomedMin_;
    max_ = unzoomedMax_;
    RefreshScrollBar();
    RefreshParent();
}

void CChartAxis::SetZoomMinMax(double low, double high) {
    if (!zoomEnabled_ || min_ == max_) return;
    const ValueRange r = ZoomRangeFor(low, high, zoomLimit_);
    min_ = r.min;
    max_ = r.max;
    RefreshScrollBar();
}

void CChartAxis::PanAxis(int fromPixel, int toPixel) {
    const double shift = ScreenToValue(fromPixel) - ScreenToValue(toPixel);
    SetZoomMinMax(min_ + shift, max_ + shift);
}

ScrollSteps CChartAxis::GetScrollbarSteps() const {
    const ValueRange extent = SeriesExtent(false).value_or(ValueRange{});
    return ComputeScrollSteps(min_, max_, extent.min, extent.max);
}

void CChartAxis::RefreshScrollBar() {
    if (!scrollBar_) return;
    const ScrollSteps s = GetScrollbarSteps();
    CChartScrollBar::Info info;
    info.min = 0;
    info.max = s.steps - 1;
    info.page = 10;
    const bool reversed = horizontal_ ? inverted_ : !inverted_;
    info.pos = reversed ? s.steps - s.position - 9 : s.position;
    scrollBar_->SetScrollInfo(info);
}

void CChartAxis::SetAxisToScrollStep(int previousPos, int currentPos, bool reverse) {
    const double delta = (max_ - min_) / 10.0 * (currentPos - previousPos);
    const double shift = reverse ? -delta : delta;
    SetZoomMinMax(min_ + shift, max_ + shift);
    if (!parent_) return;
    for (int pos = 0; pos < kAxisCount; ++pos) {
        if (CChartAxis* axis = parent_->GetAxis(pos)) {
            axis->RefreshScrollBar();
            if (axis->GetAutomaticMode() == ScreenAutomatic) axis->RefreshAutoAxis();
        }
    }
}

void CChartAxis::RegisterSeries(PlottedSerie* serie) {
    if (std::find(series_.begin(), series_.end(), serie) == series_.end()) series_.push_back(serie);
}

void CChartAxis::UnregisterSeries(PlottedSerie* serie) {
    series_.erase(std::remove(series_.begin(), series_.end(), serie), series_.end());
}

void CChartAxis::AttachTo(ChartHost* parent, int position, std::unique_ptr<CChartScrollBar> bar) {
    parent_ = parent;
    grid_.SetParent(parent);
    label_.SetParent(parent);
    secondary_ = IsSecondaryPosition(position);
    horizontal_ = IsHorizontalPosition(position);
    grid_.SetHorizontal(horizontal_);
    label_.SetHorizontal(horizontal_);
    label_.GetFont().SetVertical(!horizontal_);
    label_.GetFont().MarkChanged();
    scrollBar_ = std::move(bar);
}

void CChartAxis::SetPlacement(const AxisPlacement& placement) {
    start_ = placement.start;
    end_ = placement.end;
    rect_ = placement.rect;
}

void CChartAxis::ForEachTick(const std::function<void(double)>& visit) const {
    // Bounded by what can be drawn: a tiny increment against the range (set by hand, or kept
    // from before the range grew on an axis too short to compute a new one) would otherwise
    // walk far more ticks than pixels on every redraw.
    const int limit = std::abs(end_ - start_) + kTicksBeyondPixels;
    double tick = GetFirstTickValue();
    for (int n = 0; n < limit; ++n) {
        visit(tick);
        double next;
        if (!GetNextTickValue(tick, next) || !(next > tick)) return;
        tick = next;
    }
}

ChartSize CChartAxis::GetLargestTick(QPainter& p) const {
    FontSelection font(p, MakePointFont(tickFontFace_, tickFontSize_));
    if (max_ == min_) return TextExtent(p, GetTickLabel(min_));
    ChartSize largest;
    const AxisSpan span = Span();
    ForEachTick([&](double v) {
        if (!PixelInsideAxis(span, ValueToPixel(v))) return;
        const ChartSize s = TextExtent(p, GetTickLabel(v));
        largest.width = std::max(largest.width, s.width);
        largest.height = std::max(largest.height, s.height);
    });
    return largest;
}

int CChartAxis::ClipMargin(QPainter& p, const ChartRect& R, ChartRect& P) {
    if (!visible_) return 0;
    AxisMarginInput in;
    in.largestTick = GetLargestTick(p);
    in.label = label_.GetSize(&p);
    in.automaticMargin = automaticMargin_;
    in.storedMargin = margin_;
    const int thickness = ApplyAxisMargin(Position(), in, R, P);
    if (automaticMargin_) margin_ = thickness;
    return thickness;
}

void CChartAxis::Draw(QPainter& p) {
    if (!visible_) return;
    const ChartSize largest = GetLargestTick(p);
    PainterState keep(p);
    p.setFont(MakePointFont(tickFontFace_, tickFontSize_));
    p.setPen(ToQColor(textColor_));
    p.setBackgroundMode(Qt::TransparentMode);
    const QColor axisColor = ToQColor(axisColor_);
    const int pos = Position();

    switch (pos) {
        case BottomAxis:
            DrawLine(p, {start_, rect_.top + 1}, {end_, rect_.top + 1}, axisColor);
            break;
        case TopAxis:
            DrawLine(p, {start_, rect_.bottom - 1}, {end_, rect_.bottom - 1}, axisColor);
            break;
        case LeftAxis:
            DrawLine(p, {rect_.right - 1, start_}, {rect_.right - 1, end_}, axisColor);
            break;
        default:
            DrawLine(p, {rect_.left + 1, start_}, {rect_.left + 1, end_}, axisColor);
            break;
    }

    const ChartSize L = label_.GetSize(&p);
    const int mid = static_cast<int>(std::fabs((start_ + end_) * 0.5));
    int left, top;
    if (horizontal_) {
        top = pos == BottomAxis ? rect_.top + largest.height + 2 : rect_.top;
        left = mid - L.width / 2;
    } else {
        top = mid + L.height / 2;
        left = pos == LeftAxis ? rect_.left : rect_.right - L.width - 2;
    }
    label_.SetRect({left, top, left + L.width, top + L.height});
    label_.Draw(p);

    grid_.ClearTicks();
    if (max_ != min_)
        ForEachTick([&](double v) { DrawTick(p, v, true, L); });
    else
        DrawTick(p, min_, false, L);

    if (parent_) grid_.Draw(p, parent_->GetPlottingRect());
}

void CChartAxis::DrawTick(QPainter& p, double value, bool markable, const ChartSize& L) {
    const AxisSpan span = Span();
    // With min == max there is no mapping for marks: only the label, in the middle.
    const int tick = markable ? ValueToScreen(value) : 0;
    const int labelPixel = ValueToPixel(value);
    const QString text = GetTickLabel(value);
    const ChartSize ext = TextExtent(p, text);
    const bool drawMark = markable && PixelInsideAxis(span, tick);
    const bool drawText = PixelInsideAxis(span, labelPixel);
    const QColor axisColor = ToQColor(axisColor_);

    switch (Position()) {
        case LeftAxis:
            if (drawMark) DrawLine(p, {rect_.right - 1, tick}, {rect_.right - 4, tick}, axisColor);
            if (drawText)
                DrawTextAt(p, rect_.left + L.width + 4, labelPixel - ext.height / 2, text);
            break;
        case RightAxis:
            if (drawMark) DrawLine(p, {rect_.left + 1, tick}, {rect_.left + 4, tick}, axisColor);
            if (drawText) DrawTextAt(p, rect_.left + 6, labelPixel - ext.height / 2, text);
            break;
        case BottomAxis:
            if (drawMark) DrawLine(p, {tick, rect_.top + 1}, {tick, rect_.top + 4}, axisColor);
            if (drawText) DrawTextAt(p, labelPixel - ext.width / 2, rect_.top + 5, text);
            break;
        default:
            if (drawMark)
                DrawLine(p, {tick, rect_.bottom - 1}, {tick, rect_.bottom - 4}, axisColor);
            if (drawText)
                DrawTextAt(p, labelPixel - ext.width / 2, rect_.bottom - ext.height - 5, text);
            break;
    }
    if (markable) grid_.AddTick(tick);
}

}  // namespace chart
