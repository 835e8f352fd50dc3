#include "chart/CChartLegend.h"

#include "chart/CChartSerie.h"
#include "chart/ChartDraw.h"
#include "chart/ChartHost.h"

namespace chart {

void CChartLegend::RefreshParent() const {
    if (parent_) parent_->RefreshCtrl();
}

void CChartLegend::SetVisible(bool visible) {
    visible_ = visible;
    RefreshParent();
}

void CChartLegend::DockLegend(DockSide side) {
    layout_.docked = true;
    layout_.dock = static_cast<LegendDock>(side);
    RefreshParent();
}

void CChartLegend::UndockLegend(int left, int top) {
    layout_.docked = false;
    layout_.freeLeft = left;
    layout_.freeTop = top;
    RefreshParent();
}

void CChartLegend::SetHorizontalMode(bool horizontal) {
    layout_.horizontal = horizontal;
    RefreshParent();
}

void CChartLegend::SetTransparent(bool transparent) {
    transparent_ = transparent;
    RefreshParent();
}

void CChartLegend::SetShadow(bool shadow) {
    shadow_ = shadow;
    RefreshParent();
}

void CChartLegend::SetBackgroundColor(ChartColor color) {
    backColor_ = color;
    RefreshParent();
}

void CChartLegend::SetFont(const QString& face, int tenths) {
    fontFace_ = face;
    fontSize_ = tenths;
    RefreshParent();
}

std::vector<const CChartSerie*> CChartLegend::ListedSeries() const {
    std::vector<const CChartSerie*> listed;
    if (!parent_) return listed;
    for (const auto& [id, serie] : parent_->Series())
        if (serie->IsVisible() && !serie->GetName().isEmpty()) listed.push_back(serie.get());
    return listed;
}

std::vector<ChartSize> CChartLegend::MeasureNames(
    QPainter& p, const std::vector<const CChartSerie*>& listed) const {
    std::vector<ChartSize> sizes;
    for (const CChartSerie* s : listed) sizes.push_back(TextExtent(p, s->GetName()));
    return sizes;
}

void CChartLegend::UpdatePosition(QPainter& p, const ChartRect& area) {
    if (!visible_) {
        rect_ = {};
        return;
    }
    FontSelection font(p, MakePointFont(fontFace_, fontSize_));
    rect_ = LegendRectFor(layout_, MeasureNames(p, ListedSeries()), area);
}

void CChartLegend::Draw(QPainter& p) {
    if (!visible_ || rect_.IsEmpty()) return;
    PainterState keep(p);
    p.setFont(MakePointFont(fontFace_, fontSize_));
    if (shadow_) {
        const ChartRect s{rect_.left + shadowDepth_, rect_.top + shadowDepth_,
                          rect_.right + shadowDepth_, rect_.bottom + shadowDepth_};
        p.fillRect(ToQRect(s), ToQColor(shadowColor_));
    }
    if (!transparent_) p.fillRect(ToQRect(rect_), ToQColor(backColor_));
    DrawBox(p, {rect_.left, rect_.top}, {rect_.right - 1, rect_.bottom - 1}, Qt::black);
    p.setBackgroundMode(Qt::TransparentMode);
    p.setPen(QPen(Qt::black, 1));

    const std::vector<const CChartSerie*> listed = ListedSeries();
    const std::vector<ChartSize> names = MeasureNames(p, listed);
    const std::vector<LegendRow> rows = LegendRows(layout_, rect_, names);
    for (size_t i = 0; i < listed.size(); ++i) {
        DrawTextAt(p, rows[i].textX, rows[i].textY, listed[i]->GetName());
        listed[i]->DrawLegend(p, rows[i].symbol);
    }
}

}  // namespace chart
