#pragma once

#include <QString>
#include <vector>

#include "chart/CChartBarSerie.h"
#include "chart/CChartCtrl.h"
#include "chart/CChartStandardAxis.h"
#include "ui/pages/models/TrafficDays.h"

namespace account_traffic {

// The bottom axis of the traffic chart: day i of n at X = i - (n - 1), so today is at 0 and
// the ticks every 5 days fall on today and the days 5, 10, … before it; each reads "MM-DD".
class DayAxis : public chart::CChartStandardAxis {
public:
    void SetDays(std::vector<CalendarDay> days) { days_ = std::move(days); }
    QString GetTickLabel(double value) const override;

private:
    std::vector<CalendarDay> days_;
};

// The account page's chart of one account's traffic per day: what the page keeps to update it.
struct TrafficChart {
    chart::CChartCtrl* chart = nullptr;
    chart::CChartBarSerie* bars = nullptr;
    chart::CChartStandardAxis* leftAxis = nullptr;
    DayAxis* bottomAxis = nullptr;
};

// Green (0x00BBGGRR layout) of the bars.
constexpr chart::ChartColor kTrafficBarColor = 0x3C9A2E;
inline constexpr int kChartDays = 30;

// A left axis (bytes in the unit the largest day needs) and the day axis below, one bar
// series; no zoom or pan. Empty until ShowTrafficDays.
TrafficChart SetUpTrafficChart(chart::CChartCtrl& chart);

// One bar per day of `days` (oldest first) under the title naming `account`, one redraw.
void ShowTrafficDays(const TrafficChart& traffic, const QString& account,
                     const std::vector<DayBytes>& days);
// No bars and no axes; the title says that no traffic is recorded for `account`, or, when it
// is empty, to select an account.
void ShowNoTraffic(const TrafficChart& traffic, const QString& account);

}  // namespace account_traffic
