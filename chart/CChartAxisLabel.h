#pragma once

#include <QPainter>
#include <QString>

#include "chart/ChartFont.h"
#include "chart/ChartTypes.h"

namespace chart {

class ChartHost;

// The line of text beside an axis; on vertical axes it reads upwards.
class CChartAxisLabel {
public:
    CChartAxisLabel() : font_(QStringLiteral("Microsoft Sans Serif"), 100) {}

    void SetParent(ChartHost* parent) { parent_ = parent; }
    void SetText(const QString& text);
    const QString& GetText() const { return text_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetColor(ChartColor color);
    void SetHorizontal(bool horizontal) { horizontal_ = horizontal; }
    ChartFont& GetFont() { return font_; }

    // Text extent plus 4 in each direction, turned for a vertical label; (0,0) when there is
    // nothing to draw or no surface to measure on.
    ChartSize GetSize(QPainter* p);
    void SetRect(const ChartRect& rect) { rect_ = rect; }
    const ChartRect& GetRect() const { return rect_; }
    void Draw(QPainter& p);

private:
    ChartHost* parent_ = nullptr;
    bool visible_ = true;
    ChartRect rect_;
    ChartColor textColor_ = 0x000000;
    bool horizontal_ = true;
    ChartFont font_;
    QString text_;
};

}  // namespace chart
