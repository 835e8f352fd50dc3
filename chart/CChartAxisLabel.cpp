#include "chart/CChartAxisLabel.h"

#include "chart/ChartDraw.h"
#include "chart/ChartHost.h"

namespace chart {

void CChartAxisLabel::SetText(const QString& text) {
    text_ = text;
    if (parent_) parent_->RefreshCtrl();
}

void CChartAxisLabel::SetVisible(bool visible) {
    visible_ = visible;
    if (parent_) parent_->RefreshCtrl();
}

void CChartAxisLabel::SetColor(ChartColor color) {
    textColor_ = color;
    if (parent_) parent_->RefreshCtrl();
}

ChartSize CChartAxisLabel::GetSize(QPainter* p) {
    if (!visible_ || !p || text_.isEmpty()) return {};
    FontSelection font(*p, font_.GetFont());
    const ChartSize extent = TextExtent(*p, text_);
    ChartSize size{extent.width + 4, extent.height + 4};
    if (!horizontal_) std::swap(size.width, size.height);
    return size;
}

void CChartAxisLabel::Draw(QPainter& p) {
    if (!visible_ || text_.isEmpty()) return;
    PainterState keep(p);
    p.setPen(ToQColor(textColor_));
    p.setFont(font_.GetFont());
    if (horizontal_)
        DrawTextAt(p, rect_.left, rect_.top + 2, text_);
    else
        DrawTextAt(p, rect_.left + 2, rect_.top, text_, font_.IsVertical());
}

}  // namespace chart
