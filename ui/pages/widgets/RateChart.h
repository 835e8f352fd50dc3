#pragma once

#include <QString>

#include "chart/CChartCtrl.h"
#include "chart/CChartStandardAxis.h"
#include "chart/CChartSurfaceSerie.h"
#include "ui/pages/models/RateHistory.h"

namespace dashboard {

// The dashboard's rate chart on a chart::CChartCtrl: what the page keeps to update it.
struct RateChart {
    chart::CChartCtrl* chart = nullptr;
    chart::CChartSurfaceSerie* series = nullptr;
    chart::CChartStandardAxis* leftAxis = nullptr;
    chart::CChartStandardAxis* rightAxis = nullptr;
};

// Blue (0x00BBGGRR layout) of the rate surface.
constexpr chart::ChartColor kRateSeriesColor = 0xCD0000;

// Sets the chart up: four axes (bottom and top 0..29, left and right 0..100 and fixed), the
// axis title on the left axis, the chart title, and the solid blue surface series named after
// the axis title. Texts come from the caller's string table.
RateChart SetUpRateChart(chart::CChartCtrl& chart, const QString& axisTitle,
                         const QString& chartTitle);

// Sizes the axis title (at most its 10-point default, at least 6 points) so that, centred on
// the left axis as it is drawn, it fits the chart's height; a small window would cut it.
void FitAxisTitle(const RateChart& rate);

// Shows the history: both vertical axes 0..top, the 30 samples at X = 0..29, one redraw.
void ApplyRateHistory(const RateChart& rate, const RateHistory& history);

// One sample read from the server: into the history (which may rescale), then onto the chart.
void ShowRateSample(const RateChart& rate, RateHistory& history, double sample);

}  // namespace dashboard
