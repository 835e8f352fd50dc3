#pragma once
// Dialog units to pixels with a widget's font: x = dlu * average char width / 4,
// y = dlu * char height / 8 (the average width over the 52 Latin letters, rounded).
#include <QFontMetrics>
#include <QRect>
#include <QSize>

inline int AverageCharWidth(const QFontMetrics& metrics) {
    const int total = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (total / 26 + 1) / 2;
}

inline QSize DluToPixels(const QFontMetrics& metrics, int dluX, int dluY) {
    return {dluX * AverageCharWidth(metrics) / 4, dluY * metrics.height() / 8};
}

// A rectangle given in dialog units (left, top, width, height) in pixels.
inline QRect DluToRect(const QFontMetrics& metrics, int x, int y, int width, int height) {
    const QSize topLeft = DluToPixels(metrics, x, y);
    return {QPoint(topLeft.width(), topLeft.height()), DluToPixels(metrics, width, height)};
}
