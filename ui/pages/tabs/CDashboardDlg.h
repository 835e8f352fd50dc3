#pragma once
// The dashboard across the top of the main window: the engine control (lamp and button that
// installs, starts or stops the proxy service), the rate chart area and the statistics table.
// It polls the server on its own timers from creation until it is destroyed; the commands and
// service-state queries run on the link worker and their replies are applied here as they come.
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <map>

#include "service/ProxyCtrl.h"
#include "ui/pages/widgets/RateChart.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class AsyncExecutor;
class CBusyDlg;
class LinkReplies;
class StatisticsTableModel;

class CDashboardDlg : public QWidget {
    Q_OBJECT
public:
    // Timer ids and periods of the polls.
    static constexpr int kRateTimer = 1;         // RefreshRate, 2000 ms
    static constexpr int kStatisticTimer = 2;    // RefreshStatistics, 5000 ms
    static constexpr int kEngineStateTimer = 3;  // RefreshEngineState, 10000 ms
    static constexpr int kSystemTimer = 4;       // SendSystem, 60000 ms
    static constexpr uint32_t kToggleLimitMs = 10000;

    // Builds the controls, runs each poll once and starts the timers.
    explicit CDashboardDlg(QWidget* parent);
    ~CDashboardDlg() override;

    // Each poll asks the link worker and returns at once; it is skipped while its previous
    // request still waits.
    // "bandwidth": one sample onto the rate chart; a failure leaves the chart as it is.
    void RefreshRate();
    // "statistic", and after a good reply "engine"; a failure leaves every figure as it was.
    void RefreshStatistics();
    // Relabels the engine button and sets the lamp from the service state.
    void RefreshEngineState();
    // "system"; the reply and the result are ignored.
    void SendSystem();
    // Toggles the service on the task runner while the busy dialog shows.
    void OnEngineButton();

    QPushButton* EngineButton() const { return engineButton_; }
    QLabel* Lamp() const { return lamp_; }
    QTableView* StatisticsTable() const { return table_; }
    // The rate chart (objectName "chart1001"), laid out on every resize.
    chart::CChartCtrl* ChartArea() const { return rate_.chart; }
    const dashboard::RateChart& RateChart() const { return rate_; }
    CBusyDlg* BusyDialog() const { return busy_; }
    // The poll timer of an id above, or null.
    QTimer* Timer(int id) const;
    // Test seams: a shorter wait for the service, another task runner (the default is the
    // process-wide one).
    void SetToggleLimitMs(uint32_t limitMs) { toggleLimitMs_ = limitMs; }
    void SetTaskRunner(AsyncExecutor* runner) { runner_ = runner; }

signals:
    // What the polls read (for notices), and the console's own service toggle.
    void EngineStateRead(int state);
    void AlarmCountRead(int total);
    void ToggleStarted();
    void ToggleFinished();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void StartPolling();
    void Layout();
    // The label column as wide as its widest label while the table has room beside the value
    // column (never below its first 100 px); a label that still does not fit wraps onto a
    // taller row instead of being cut short.
    void FitStatisticsTable();

    QGroupBox* engineGroup_ = nullptr;
    QGroupBox* statisticsGroup_ = nullptr;
    QPushButton* engineButton_ = nullptr;
    LinkReplies* link_;  // child: drops the replies that come after the page is gone
    ProxyCtrl serviceCtrl_;
    StatisticsTableModel* statistics_ = nullptr;
    QTableView* table_ = nullptr;
    dashboard::RateChart rate_;
    std::map<int, QTimer*> timers_;
    QLabel* lamp_ = nullptr;
    QPixmap stoppedLamp_;
    QPixmap runningLamp_;
    bool lampRunning_ = false;
    CBusyDlg* busy_ = nullptr;
    uint32_t toggleLimitMs_ = kToggleLimitMs;
    AsyncExecutor* runner_;
};
