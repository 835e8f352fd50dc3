#include "ui/pages/RateChart.h"

#include <array>

namespace dashboard {

using namespace chart;

RateChart SetUpRateChart(CChartCtrl& chart, const QString& axisTitle, const QString& chartTitle) {
    RateChart rate;
    rate.chart = &chart;
    chart.CreateStandardAxis(BottomAxis)->SetMinMax(0, 29);
    rate.leftAxis = chart.CreateStandardAxis(LeftAxis);
    rate.leftAxis->SetMinMax(0, 100);
    rate.leftAxis->GetLabel()->SetText(axisTitle);
    chart.CreateStandardAxis(TopAxis)->SetMinMax(0, 29);
    rate.rightAxis = chart.CreateStandardAxis(RightAxis);
    rate.rightAxis->SetMinMax(0, 100);
    chart.GetTitle()->AddString(chartTitle);
    rate.leftAxis->SetAutomaticMode(CChartAxis::NotAutomatic);
    rate.rightAxis->SetAutomaticMode(CChartAxis::NotAutomatic);
    rate.series = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    rate.series->SetFillStyle(CChartSurfaceSerie::SolidFill);
    rate.series->SetHorizontal(true);
    rate.series->SetName(axisTitle);
    rate.series->SetColor(kRateSeriesColor);
    return rate;
}

void ApplyRateHistory(const RateChart& rate, const RateHistory& history) {
    // One redraw for the whole update instead of one per call.
    rate.chart->EnableRefresh(false);
    rate.leftAxis->SetMinMax(0, history.AxisTop());
    rate.rightAxis->SetMinMax(0, history.AxisTop());
    std::array<SChartXYPoint, RateHistory::kSamples> points;
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = {static_cast<double>(i), history.Samples()[i]};
    rate.series->SetPoints(points.data(), static_cast<unsigned>(points.size()));
    rate.chart->RefreshCtrl();
    rate.chart->EnableRefresh(true);
}

void ShowRateSample(const RateChart& rate, RateHistory& history, double sample) {
    history.Add(sample);
    ApplyRateHistory(rate, history);
}

}  // namespace dashboard
