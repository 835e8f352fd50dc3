#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include "chart/ChartDraw.h"
#include "chart/RateChart.h"

namespace chart::testing {

inline const QString kAxisTitle = QStringLiteral("Network rate(Bytes/second)");
inline const QString kChartTitle = QStringLiteral("The network throughput rate of IO");

inline QColor Pixel(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}
inline bool IsColor(const QImage& img, int x, int y, ChartColor c) {
    return img.pixelColor(x, y).rgb() == ToQColor(c).rgb();
}
inline int DarkPixelsIn(const QImage& img, const ChartRect& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (img.pixelColor(x, y).lightness() < 100) ++n;
    return n;
}

// The dashboard's chart at a fixed size with a history of the given samples.
struct RateChartFixture {
    CChartCtrl chart;
    RateChart rate;
    RateHistory history;

    explicit RateChartFixture(int width = 640, int height = 300) {
        chart.resize(width, height);
        rate = SetUpRateChart(chart, kAxisTitle, kChartTitle);
    }
    void Show(std::initializer_list<double> samples) {
        for (double s : samples) history.Add(s);
        ApplyRateHistory(rate, history);
    }
};

}  // namespace chart::testing
