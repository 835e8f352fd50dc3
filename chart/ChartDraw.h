#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

#include "chart/ChartTypes.h"

// Drawing primitives with the pixel rules the chart's geometry is written for: lines leave out
// their end pixel, text is placed by the top-left corner of its cell, fonts are sized in tenths
// of a point on a 96-dpi-like screen grid (the print mapping scales that grid to the page).
namespace chart {

QColor ToQColor(ChartColor c);
ChartColor FromQColor(const QColor& c);
// The system colour of button faces, in the chart's colour layout.
ChartColor SystemButtonFace();

inline QRect ToQRect(const ChartRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// Pixels per inch of the screen grid fonts are sized on.
int ScreenDpiX();
int ScreenDpiY();
// Height in pixels of a font of `tenths` tenths of a point on the screen grid.
int PointSizeToPixels(int tenths);
QFont MakePointFont(const QString& face, int tenths, bool bold = false, bool italic = false,
                    bool underline = false);

// Line from `from` towards `to`, `to` itself left out; axis-aligned lines are filled pixel
// rows so they land exactly where the layout puts them.
void DrawLine(QPainter& p, QPoint from, QPoint to, const QColor& color);
// Closed outline through the corners a, (b.x, a.y), b, (a.x, b.y) and back to a.
void DrawBox(QPainter& p, QPoint a, QPoint b, const QColor& color);

// Text whose cell's top-left corner is (x, y); vertical text is turned 90 degrees and runs
// upwards from (x, y).
void DrawTextAt(QPainter& p, int x, int y, const QString& text, bool vertical = false);
// Width and height of the text cell in the painter's current font.
ChartSize TextExtent(const QPainter& p, const QString& text);

// Gradient fill: 0 left to right, 1 top to bottom, 2 horizontal there and back,
// 3 (and others) vertical there and back.
void FillGradient(QPainter& p, const ChartRect& r, int type, ChartColor c1, ChartColor c2);

// Edge types: combinations of raised/sunken outer (1/2) and inner (4/8) borders;
// 5 is the raised edge.
constexpr int kEdgeRaised = 5;
constexpr int kEdgeSunken = 10;
void DrawEdge(QPainter& p, const ChartRect& r, int edgeType);

// Restores the painter's font when it goes out of scope.
class FontSelection {
public:
    FontSelection(QPainter& p, const QFont& font) : painter_(p), previous_(p.font()) {
        painter_.setFont(font);
    }
    ~FontSelection() { painter_.setFont(previous_); }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;

private:
    QPainter& painter_;
    QFont previous_;
};

// Restores the painter's whole state (pen, brush, clip, transform) when it goes out of scope.
class PainterState {
public:
    explicit PainterState(QPainter& p) : painter_(p) { painter_.save(); }
    ~PainterState() { painter_.restore(); }
    PainterState(const PainterState&) = delete;
    PainterState& operator=(const PainterState&) = delete;

private:
    QPainter& painter_;
};

}  // namespace chart
