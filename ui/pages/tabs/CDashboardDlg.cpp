#include "ui/pages/tabs/CDashboardDlg.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "Common/DateTime.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "tasks/AsyncExecutor.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/common/DialogUnits.h"
#include "ui/common/Messages.h"
#include "ui/common/PrivateEvents.h"
#include "ui/pages/models/EngineLook.h"
#include "ui/pages/models/StatisticsTableModel.h"
#include "ui/pages/plumbing/LinkReplies.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/plumbing/ServiceFailureText.h"
#include "ui/res/Artwork.h"
#include "ui/res/Strings.h"

namespace {

// The polls of the page, run once in this order at creation and then on their timers.
struct Poll {
    int timerId;
    int periodMs;
    void (CDashboardDlg::*action)();
};
constexpr Poll kPolls[] = {
    {CDashboardDlg::kRateTimer, 2000, &CDashboardDlg::RefreshRate},
    {CDashboardDlg::kStatisticTimer, 5000, &CDashboardDlg::RefreshStatistics},
    {CDashboardDlg::kEngineStateTimer, 10000, &CDashboardDlg::RefreshEngineState},
    {CDashboardDlg::kSystemTimer, 60000, &CDashboardDlg::SendSystem},
};

constexpr int kLampSize = 15;
// The engine button keeps one size whatever its label: at least 100 x 14 dialog units and
// wide enough for the longest label.
constexpr int kButtonDluWidth = 100;
constexpr int kButtonDluHeight = 14;
constexpr int kEngineLabels[] = {res::IDS_ENGINE_NOT_INSTALLED, res::IDS_ENGINE_START,
                                 res::IDS_ENGINE_STARTING,      res::IDS_ENGINE_STOPPING,
                                 res::IDS_ENGINE_STOP,          res::IDS_ENGINE_UNKNOWN};

}  // namespace

CDashboardDlg::CDashboardDlg(QWidget* parent)
    : QWidget(parent), link_(new LinkReplies(this)), runner_(&TheAsyncExecutor()) {
    setObjectName("dashboard104");
    BuildControls();
    StartPolling();
}

CDashboardDlg::~CDashboardDlg() = default;

void CDashboardDlg::BuildControls() {
    stoppedLamp_ = res::Lamp(false);
    runningLamp_ = res::Lamp(true);

    // The group boxes are made first so the controls drawn over them stay on top.
    engineGroup_ = new QGroupBox(res::Str(res::Ctl::EngineGroup), this);
    engineGroup_->setObjectName("engineGroup1038");
    statisticsGroup_ = new QGroupBox(res::Str(res::Ctl::StatisticsGroup), this);
    statisticsGroup_->setObjectName("statisticsGroup1037");

    auto* chart = new chart::CChartCtrl(this);
    chart->setObjectName("rateChart1001");
    rate_ = dashboard::SetUpRateChart(*chart, res::Str(res::IDS_CHART_RATE),
                                      res::Str(res::IDS_CHART_TITLE));

    // The engine button before the table: Tab follows the order of creation, left to right.
    engineButton_ = new QPushButton(res::Str(res::Ctl::EngineButton), this);
    engineButton_->setObjectName("engineButton1003");
    QSize buttonSize = DluToPixels(engineButton_->fontMetrics(), kButtonDluWidth, kButtonDluHeight);
    for (int id : kEngineLabels) {
        const int textWidth = engineButton_->fontMetrics().horizontalAdvance(res::Str(id));
        buttonSize.setWidth(std::max(buttonSize.width(), textWidth + 24));
    }
    engineButton_->setFixedSize(buttonSize);
    connect(engineButton_, &QPushButton::clicked, this, [this] { OnEngineButton(); });

    statistics_ = new StatisticsTableModel(this);
    statistics_->SetValue(StatisticsTableModel::kStartTime,
                          QString::fromStdString(DateTime::Now().ToString()));
    table_ = new QTableView(this);
    table_->setObjectName("statisticsList1002");
    table_->setModel(statistics_);
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setIconSize(QSize(16, 16));
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(std::max(20, fontMetrics().height() + 6));
    table_->horizontalHeader()->setSectionsClickable(false);
    for (int column = 0; column < 2; ++column) {
        table_->setColumnWidth(column, StatisticsTableModel::kColumnWidths[column]);
    }
    // In the smallest window only the value column's right margin passes the table's edge
    // (the values are centred): no scroll bar for that.
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setWordWrap(true);
    // The widths are fitted once the table knows its size (the views measure only what they
    // show), and again when a value changes.
    table_->viewport()->installEventFilter(this);
    connect(statistics_, &QAbstractItemModel::dataChanged, this, [this] { FitStatisticsTable(); });

    lamp_ = new QLabel(this);
    lamp_->setObjectName("engineLamp1004");
    lamp_->setFixedSize(kLampSize, kLampSize);
    lamp_->setPixmap(stoppedLamp_);

    busy_ = new CBusyDlg(this);
}

void CDashboardDlg::StartPolling() {
    for (const Poll& poll : kPolls) (this->*poll.action)();
    for (const Poll& poll : kPolls) {
        auto* timer = new QTimer(this);
        timer->setInterval(poll.periodMs);
        connect(timer, &QTimer::timeout, this, [this, action = poll.action] { (this->*action)(); });
        timer->start();
        timers_[poll.timerId] = timer;
    }
}

QTimer* CDashboardDlg::Timer(int id) const {
    auto found = timers_.find(id);
    return found == timers_.end() ? nullptr : found->second;
}

void CDashboardDlg::RefreshRate() {
    link_->Ask(
        "bandwidth",
        [] {
            std::string body;
            if (!MQClientSingleton::instance()->Bandwidth(body)) return std::optional<uint32_t>();
            return ReadBandwidth(body);
        },
        [this](std::optional<uint32_t> bytes) {
            if (!bytes) return;  // a failure leaves the chart as it is
            dashboard::ShowRateSample(rate_, dashboard::TheRateHistory(),
                                      static_cast<double>(*bytes));
        });
}

namespace {

// What one statistics refresh brought: the figures, and the start time asked right after them.
struct StatisticsPoll {
    std::optional<StatisticFigures> figures;
    std::optional<std::string> started;
};

StatisticsPoll FetchStatistics() {
    MQClient& client = *MQClientSingleton::instance();
    StatisticsPoll poll;
    std::string body;
    if (!client.Statistic(body)) return poll;
    poll.figures = ReadStatistic(body);
    if (!poll.figures) return poll;
    if (std::string started; client.Engine(started)) poll.started = std::move(started);
    return poll;
}

}  // namespace

void CDashboardDlg::RefreshStatistics() {
    link_->Ask("statistic", FetchStatistics, [this](StatisticsPoll poll) {
        if (!poll.figures) return;  // a failure leaves every figure as it was
        const StatisticFigures& reply = *poll.figures;
        statistics_->SetValue(StatisticsTableModel::kOnlineUsers,
                              QString::number(reply.onlineUsers));
        statistics_->SetValue(StatisticsTableModel::kOnlineDevices,
                              QString::number(reply.onlineDevices));
        statistics_->SetValue(StatisticsTableModel::kTotalNetworkFlow,
                              QString::fromStdString(reply.totalIOBytes));
        statistics_->SetValue(StatisticsTableModel::kAlarms, QString::number(reply.totalAlarms));
        emit AlarmCountRead(reply.totalAlarms);
        if (poll.started) {
            statistics_->SetValue(StatisticsTableModel::kStartTime,
                                  QString::fromStdString(*poll.started));
            // A restarted server: its rates start afresh, the old run's leave the chart.
            if (dashboard::TheRateHistory().ServerStarted(*poll.started)) {
                dashboard::ApplyRateHistory(rate_, dashboard::TheRateHistory());
            }
        }
    });
}

void CDashboardDlg::RefreshEngineState() {
    // A copy: the query may still run when the page is gone.
    link_->Ask(
        "engine state", [ctrl = serviceCtrl_]() mutable { return ctrl.QueryStatus(); },
        [this](int state) {
            const EngineLook look = EngineLookOf(static_cast<ServiceState>(state));
            engineButton_->setText(res::Str(look.stringId));
            lampRunning_ = look.lampRunning;
            lamp_->setPixmap(lampRunning_ ? runningLamp_ : stoppedLamp_);
            emit EngineStateRead(state);
        });
}

void CDashboardDlg::SendSystem() {
    link_->Ask(
        "system",
        [] {
            std::string ignored;
            return MQClientSingleton::instance()->System(ignored);
        },
        [](bool) {});
}

void CDashboardDlg::OnEngineButton() {
    RefreshEngineState();
    AsyncExecutor& runner = *runner_;
    // The worker's own copy: the failure it records is read by nobody else meanwhile. The job
    // and then its completion run on the worker, so the reason passes between them unlocked;
    // the page shows it after the busy dialog has closed.
    auto failure = std::make_shared<std::optional<QString>>();
    runner.SetJob([ctrl = serviceCtrl_, limitMs = toggleLimitMs_, failure]() mutable {
        if (!ctrl.Toggle(limitMs)) *failure = ServiceFailureText(ctrl.LastFailure(), limitMs);
    });
    runner.SetCompletion([busy = busy_, page = this, failure] {
        QCoreApplication::postEvent(busy, new QEvent(kCloseBusyEvent));
        QCoreApplication::postEvent(page, new ToggleFinishedEvent(*failure));
    });
    emit ToggleStarted();
    if (!runner.Start()) {
        // No worker: a busy box would wait for a completion that never comes.
        ShowOperationFailed(this);
        emit ToggleFinished();
        RefreshEngineState();
        return;
    }
    busy_->exec();
}

bool CDashboardDlg::event(QEvent* event) {
    if (event->type() == kToggleFinishedEvent) {
        const auto* finished = dynamic_cast<const ToggleFinishedEvent*>(event);
        if (finished != nullptr && finished->failure) ShowOperationFailed(this, *finished->failure);
        emit ToggleFinished();
        RefreshEngineState();
        return true;
    }
    return QWidget::event(event);
}

bool CDashboardDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize) FitStatisticsTable();
    return QWidget::eventFilter(watched, event);
}

void CDashboardDlg::FitStatisticsTable() {
    const QAbstractItemView& view = *table_;  // the measures are public there
    const int least = StatisticsTableModel::kColumnWidths[0];
    const int room = table_->viewport()->width() - table_->columnWidth(1);
    table_->setColumnWidth(0, std::clamp(room, least, std::max(least, view.sizeHintForColumn(0))));
    const int oneLine = table_->verticalHeader()->defaultSectionSize();
    for (int row = 0; row < StatisticsTableModel::kRowCount; ++row)
        table_->setRowHeight(row, std::max(oneLine, view.sizeHintForRow(row)));
}

void CDashboardDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CDashboardDlg::Layout() {
    // Engine control top left, chart below it, statistics on the right third.
    const QRect inner = rect().adjusted(5, 5, -5, -5);
    const int left = inner.left();
    const int top = inner.top();
    const int width = inner.width();
    const int height = inner.height();
    const int splitX = left + (2 * width) / 3;
    const int splitY = top + height / 4;
    const QMargins one(1, 1, 1, 1);

    const QRect engine = QRect(left, top, splitX - left, splitY - top) - one;
    engineGroup_->setGeometry(engine);
    const int lampX = engine.left() + 10;
    lamp_->move(lampX, engine.top() + (engine.height() - lamp_->height()) / 2);
    engineButton_->move(lampX + 10 + lamp_->width(),
                        engine.top() + (engine.height() - engineButton_->height()) / 2);

    rate_.chart->setGeometry(QRect(left, splitY, splitX - left, top + height - splitY) - one);
    dashboard::FitAxisTitle(rate_);

    const QRect stats = QRect(splitX, top, left + width - splitX, height) - one;
    statisticsGroup_->setGeometry(stats);
    table_->setGeometry(stats - QMargins(5, 20, 5, 20));
}
