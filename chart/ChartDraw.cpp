#include "chart/ChartDraw.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <iterator>

namespace chart {
namespace {

constexpr int kDefaultDpi = 96;

int ScreenDpi(bool horizontal) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QScreen* s = app->primaryScreen()) {
            const double dpi = horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY();
            if (dpi >= 1.0) return static_cast<int>(dpi + 0.5);
        }
    }
    return kDefaultDpi;
}

QColor PaletteColor(QPalette::ColorRole role) {
    return QGuiApplication::palette().color(QPalette::Active, role);
}

void FillLinear(QPainter& p, const ChartRect& r, bool horizontal, ChartColor c1, ChartColor c2) {
    if (r.IsEmpty()) return;
    const QPointF from(r.left, r.top);
    const QPointF to = horizontal ? QPointF(r.right, r.top) : QPointF(r.left, r.bottom);
    QLinearGradient g(from, to);
    g.setColorAt(0.0, ToQColor(c1));
    g.setColorAt(1.0, ToQColor(c2));
    p.fillRect(ToQRect(r), g);
}

// One border of an edge: top and left side in one colour, bottom and right in the other.
void DrawBorder(QPainter& p, const ChartRect& r, const QColor& topLeft, const QColor& bottomRight) {
    if (r.IsEmpty()) return;
    DrawLine(p, {r.left, r.bottom - 1}, {r.left, r.top}, topLeft);
    DrawLine(p, {r.left, r.top}, {r.right - 1, r.top}, topLeft);
    DrawLine(p, {r.right - 1, r.top}, {r.right - 1, r.bottom}, bottomRight);
    DrawLine(p, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}, bottomRight);
}

}  // namespace

QColor ToQColor(ChartColor c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

ChartColor FromQColor(const QColor& c) {
    return MakeChartColor(c.red(), c.green(), c.blue());
}

ChartColor SystemButtonFace() {
    if (!QCoreApplication::instance()) return MakeChartColor(240, 240, 240);
    return FromQColor(PaletteColor(QPalette::Button));
}

int ScreenDpiX() {
    return ScreenDpi(true);
}
int ScreenDpiY() {
    return ScreenDpi(false);
}

int PointSizeToPixels(int tenths) {
    // Rounded to the nearest pixel: 8 points on a 96-dpi grid are 10.67 pixels, drawn as 11.
    return std::max(1, (tenths * ScreenDpiY() + 360) / 720);
}

QFont MakePointFont(const QString& face, int tenths, bool bold, bool italic, bool underline) {
    QFont f(face);
    f.setPixelSize(PointSizeToPixels(tenths));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setItalic(italic);
    f.setUnderline(underline);
    return f;
}

void DrawLine(QPainter& p, QPoint from, QPoint to, const QColor& color) {
    if (from.y() == to.y()) {
        if (from.x() == to.x()) return;
        const int x0 = from.x() < to.x() ? from.x() : to.x() + 1;
        p.fillRect(QRect(x0, from.y(), std::abs(to.x() - from.x()), 1), color);
    } else if (from.x() == to.x()) {
        const int y0 = from.y() < to.y() ? from.y() : to.y() + 1;
        p.fillRect(QRect(from.x(), y0, 1, std::abs(to.y() - from.y())), color);
    } else {
        PainterState keep(p);
        p.setPen(QPen(color, 1));
        p.drawLine(from, to);
    }
}

void DrawBox(QPainter& p, QPoint a, QPoint b, const QColor& color) {
    const QPoint corners[] = {a, {b.x(), a.y()}, b, {a.x(), b.y()}, a};
    for (size_t i = 1; i < std::size(corners); ++i) DrawLine(p, corners[i - 1], corners[i], color);
}

void DrawTextAt(QPainter& p, int x, int y, const QString& text, bool vertical) {
    const int ascent = p.fontMetrics().ascent();
    if (!vertical) {
        p.drawText(QPoint(x, y + ascent), text);
        return;
    }
    PainterState keep(p);
    p.translate(x, y);
    p.rotate(-90.0);
    p.drawText(QPoint(0, ascent), text);
}

ChartSize TextExtent(const QPainter& p, const QString& text) {
    const QFontMetrics fm = p.fontMetrics();
    return {fm.horizontalAdvance(text), fm.height()};
}

void FillGradient(QPainter& p, const ChartRect& r, int type, ChartColor c1, ChartColor c2) {
    switch (type) {
        case 0:
            FillLinear(p, r, true, c1, c2);
            break;
        case 1:
            FillLinear(p, r, false, c1, c2);
            break;
        case 2: {
            const int mid = r.left + r.Width() / 2;
            FillLinear(p, {r.left, r.top, mid, r.bottom}, true, c1, c2);
            FillLinear(p, {mid, r.top, r.right, r.bottom}, true, c2, c1);
            break;
        }
        default: {
            const int mid = r.top + r.Height() / 2;
            FillLinear(p, {r.left, r.top, r.right, mid}, false, c1, c2);
            FillLinear(p, {r.left, mid, r.right, r.bottom}, false, c2, c1);
            break;
        }
    }
}

void DrawEdge(QPainter& p, const ChartRect& r, int edgeType) {
    // Outer border: raised = light / darkest shadow, sunken = shadow / highlight.
    if (edgeType & 1)
        DrawBorder(p, r, PaletteColor(QPalette::Midlight), PaletteColor(QPalette::Shadow));
    else if (edgeType & 2)
        DrawBorder(p, r, PaletteColor(QPalette::Dark), PaletteColor(QPalette::Light));
    const ChartRect inner = r.Deflated(1);
    if (edgeType & 4)
        DrawBorder(p, inner, PaletteColor(QPalette::Light), PaletteColor(QPalette::Dark));
    else if (edgeType & 8)
        DrawBorder(p, inner, PaletteColor(QPalette::Shadow), PaletteColor(QPalette::Midlight));
}

}  // namespace chart
