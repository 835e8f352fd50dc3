#include "chart/CChartTitle.h"

#include "chart/ChartDraw.h"
#include "chart/ChartHost.h"
#include "chart/LayoutMath.h"

namespace chart {

void CChartTitle::RefreshParent() const {
    if (parent_) parent_->RefreshCtrl();
}

void CChartTitle::AddString(const QString& line) {
    lines_.push_back(line);
    RefreshParent();
}

void CChartTitle::RemoveAll() {
    lines_.clear();
    lineFonts_.clear();
    RefreshParent();
}

void CChartTitle::SetVisible(bool visible) {
    visible_ = visible;
    RefreshParent();
}

void CChartTitle::SetColor(ChartColor color) {
    textColor_ = color;
    RefreshParent();
}

void CChartTitle::SetLineFont(size_t line, const QString& face, int tenths) {
    lineFonts_.insert_or_assign(line, ChartFont(face, tenths));
    RefreshParent();
}

const QFont& CChartTitle::FontOfLine(size_t line) {
    auto it = lineFonts_.find(line);
    return it == lineFonts_.end() ? defaultFont_.GetFont() : it->second.GetFont();
}

std::vector<ChartSize> CChartTitle::MeasureLines(QPainter& p) {
    std::vector<ChartSize> sizes;
    for (size_t i = 0; i < lines_.size(); ++i) {
        FontSelection font(p, FontOfLine(i));
        sizes.push_back(TextExtent(p, lines_[i]));
    }
    return sizes;
}

ChartSize CChartTitle::GetSize(QPainter& p) {
    if (!visible_ || lines_.empty()) return {};
    const ChartSize size = TitleSizeFor(MeasureLines(p));
    rect_.bottom = rect_.top + size.height;
    return size;
}

void CChartTitle::Draw(QPainter& p) {
    if (!visible_) return;
    PainterState keep(p);
    p.setPen(ToQColor(textColor_));
    p.setBackgroundMode(Qt::TransparentMode);
    const std::vector<TextOrigin> origins = TitleLineOrigins(rect_, MeasureLines(p));
    for (size_t i = 0; i < lines_.size(); ++i) {
        FontSelection font(p, FontOfLine(i));
        DrawTextAt(p, origins[i].x, origins[i].y, lines_[i]);
    }
}

}  // namespace chart
