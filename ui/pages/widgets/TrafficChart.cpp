#include "ui/pages/widgets/TrafficChart.h"

#include <algorithm>
#include <cmath>

#include "ui/res/Strings.h"

namespace account_traffic {

using namespace chart;

QString DayAxis::GetTickLabel(double value) const {
    const long index = std::lround(value) + static_cast<long>(days_.size()) - 1;
    if (index < 0 || index >= static_cast<long>(days_.size())) return {};
    const CalendarDay& day = days_[static_cast<size_t>(index)];
    return QString("%1-%2").arg(day.month, 2, 10, QChar('0')).arg(day.day, 2, 10, QChar('0'));
}

TrafficChart SetUpTrafficChart(CChartCtrl& chart) {
    TrafficChart traffic;
    traffic.chart = &chart;
    chart.SetZoomEnabled(false);
    chart.SetPanEnabled(false);
    auto bottom = std::make_unique<DayAxis>();
    traffic.bottomAxis = bottom.get();
    chart.AttachCustomAxis(std::move(bottom), BottomAxis);
    traffic.bottomAxis->SetMinMax(-(kChartDays - 0.5), 0.5);
    traffic.bottomAxis->SetAutomaticTicks(false);
    traffic.bottomAxis->SetTickIncrement(5, 0);
    traffic.leftAxis = chart.CreateStandardAxis(LeftAxis);
    traffic.leftAxis->SetMinMax(0, 1);
    traffic.leftAxis->SetAutomaticMode(CChartAxis::NotAutomatic);
    traffic.bars = chart.AddSerie(std::make_unique<CChartBarSerie>(&chart));
    traffic.bars->SetColor(kTrafficBarColor);
    ShowNoTraffic(traffic, {});
    return traffic;
}

namespace {

void SetTitle(const TrafficChart& traffic, const QString& title) {
    traffic.chart->GetTitle()->RemoveAll();
    traffic.chart->GetTitle()->AddString(title);
}

}  // namespace

void ShowTrafficDays(const TrafficChart& traffic, const QString& account,
                     const std::vector<DayBytes>& days) {
    uint64_t largest = 0;
    for (const DayBytes& day : days) largest = std::max(largest, day.bytes);
    const TrafficUnit unit = UnitFor(largest);
    std::vector<SChartXYPoint> points;
    std::vector<CalendarDay> labels;
    const double last = static_cast<double>(days.size()) - 1;
    for (size_t i = 0; i < days.size(); ++i) {
        points.push_back(
            {static_cast<double>(i) - last, static_cast<double>(days[i].bytes) / unit.divisor});
        labels.push_back(days[i].day);
    }
    traffic.chart->EnableRefresh(false);
    SetTitle(traffic, res::Str(res::IDS_TRAFFIC_TITLE).arg(account));
    traffic.bottomAxis->SetDays(std::move(labels));
    traffic.bottomAxis->SetVisible(true);
    traffic.leftAxis->SetVisible(true);
    // A little room above the highest bar; a month without traffic still has a scale.
    const double top = static_cast<double>(largest) / unit.divisor;
    traffic.leftAxis->SetMinMax(0, largest == 0 ? 1 : top * 1.1);
    traffic.leftAxis->GetLabel()->SetText(res::Str(res::IDS_TRAFFIC_AXIS).arg(unit.name));
    traffic.bars->SetPoints(points.data(), static_cast<unsigned>(points.size()));
    traffic.chart->RefreshCtrl();
    traffic.chart->EnableRefresh(true);
}

void ShowNoTraffic(const TrafficChart& traffic, const QString& account) {
    traffic.chart->EnableRefresh(false);
    SetTitle(traffic, account.isEmpty() ? res::Str(res::IDS_TRAFFIC_HINT)
                                        : res::Str(res::IDS_NO_TRAFFIC).arg(account));
    traffic.bottomAxis->SetDays({});
    traffic.bottomAxis->SetVisible(false);
    traffic.leftAxis->SetVisible(false);
    traffic.leftAxis->SetMinMax(0, 1);
    traffic.leftAxis->GetLabel()->SetText({});
    traffic.bars->SetPoints(nullptr, 0);
    traffic.chart->RefreshCtrl();
    traffic.chart->EnableRefresh(true);
}

}  // namespace account_traffic
