#pragma once

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

#include "chart/ChartDraw.h"
#include "ui/pages/widgets/RateChart.h"

namespace chart::testing {

using namespace dashboard;  // the rate chart is the chart these tests draw

inline const QString kAxisTitle = QStringLiteral("Network rate(Bytes/second)");
inline const QString kChartTitle = QStringLiteral("The network throughput rate of IO");

inline bool IsColor(const QImage& img, int x, int y, ChartColor c) {
    return img.pixelColor(x, y).rgb() == ToQColor(c).rgb();
}
// Pixels of r (right and bottom excluded) of the colour; without one, the dark pixels.
inline int PixelsOf(const QImage& img, const ChartRect& r, std::optional<ChartColor> color = {}) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            n += color ? IsColor(img, x, y, *color) : img.pixelColor(x, y).lightness() < 100;
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

struct TwoAxisChart {
    CChartCtrl chart;
    CChartStandardAxis* left;
    CChartStandardAxis* bottom;
    TwoAxisChart(int w, int h, ValueRange x = {0, 10}, ValueRange y = {0, 10}) {
        chart.resize(w, h);
        left = chart.CreateStandardAxis(LeftAxis);
        left->SetMinMax(y.min, y.max);
        bottom = chart.CreateStandardAxis(BottomAxis);
        bottom->SetMinMax(x.min, x.max);
    }
    CChartSurfaceSerie* Surface(const std::vector<SChartXYPoint>& points) {  // solid fill
        auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
        s->SetFillStyle(CChartSurfaceSerie::SolidFill);
        s->SetPoints(points.data(), static_cast<unsigned>(points.size()));
        return s;
    }
};

}  // namespace chart::testing
