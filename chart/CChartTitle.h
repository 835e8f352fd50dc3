#pragma once

#include <QPainter>
#include <QString>
#include <map>
#include <vector>

#include "chart/ChartFont.h"
#include "chart/ChartTypes.h"

namespace chart {

class ChartHost;

// Lines of text centred above the plot.
class CChartTitle {
public:
    explicit CChartTitle(ChartHost* parent)
        : parent_(parent), defaultFont_(QStringLiteral("Microsoft Sans Serif"), 100) {}

    void AddString(const QString& line);
    void RemoveAll();
    size_t GetStringCount() const { return lines_.size(); }
    const QString& GetString(size_t index) const { return lines_[index]; }
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }
    void SetColor(ChartColor color);
    ChartFont& GetFont() { return defaultFont_; }
    // A font of its own for one line.
    void SetLineFont(size_t line, const QString& face, int tenths);

    // Size of the lines; the rectangle's bottom follows it.
    ChartSize GetSize(QPainter& p);
    void SetRect(const ChartRect& rect) { rect_ = rect; }
    const ChartRect& GetRect() const { return rect_; }
    void Draw(QPainter& p);

private:
    std::vector<ChartSize> MeasureLines(QPainter& p);
    const QFont& FontOfLine(size_t line);
    void RefreshParent() const;

    ChartHost* parent_;
    std::vector<QString> lines_;
    std::map<size_t, ChartFont> lineFonts_;
    bool visible_ = true;
    ChartFont defaultFont_;
    ChartColor textColor_ = 0x000000;
    ChartRect rect_;
};

}  // namespace chart
