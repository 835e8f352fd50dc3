#include "ui/pages/widgets/RateChart.h"

#include <QFontMetrics>
#include <algorithm>
#include <array>

#include "chart/ChartDraw.h"

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

void FitAxisTitle(const RateChart& rate) {
    constexpr int kLargestTenths = 100, kSmallestTenths = 60;
    CChartCtrl& chart = *rate.chart;
    CChartAxisLabel& label = *rate.leftAxis->GetLabel();
    ChartFont& font = label.GetFont();
    chart.RefreshCtrl();  // lays the axes out at the present size
    const ChartRect plot = chart.GetPlottingRect();
    const int mid = (plot.top + plot.bottom) / 2;
    const int room = 2 * std::min(mid, chart.height() - mid) - 8;
    if (plot.IsEmpty() || room <= 0) return;
    int tenths = kLargestTenths;
    for (; tenths > kSmallestTenths; tenths -= 5) {
        const QFont candidate = MakePointFont(font.Face(), tenths, false, false, false);
        if (QFontMetrics(candidate).horizontalAdvance(label.GetText()) + 4 <= room) break;
    }
    if (tenths == font.Size()) return;
    font.SetFont(font.Face(), tenths);
    font.SetVertical(true);
    chart.RefreshCtrl();
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
