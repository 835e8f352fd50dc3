// The dashboard against the scripted control channel and a fake service manager.
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <system_error>

#include "service/ServiceManagerFactory.h"
#include "tasks/AsyncExecutor.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/pages/PageTestEnv.h"
#include "ui/PrivateEvents.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/pages/CDashboardDlg.h"
#include "ui/pages/EngineLook.h"
#include "ui/res/Strings.h"

namespace {

constexpr char kGoodStatistic[] =
    R"({"err_code":0,"err_msg":"","data":{"onlineUsers":7,"onlineDevices":3,)"
    R"("totalAlarms":-2,"totalIOBytes":"1.5 GB"}})";
constexpr char kEngineText[] = "2026-12-6 8:1:2";
using Figures = std::vector<QString>;

// Whether the lamp's centre pixel is green (else red).
bool LampGreen(const CDashboardDlg& page) {
    const QImage image = page.Lamp()->pixmap().toImage();
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.green() > centre.red();
}

// Records whether a widget was ever shown.
class ShowSpy : public QObject {
public:
    explicit ShowSpy(QObject* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        shown |= event->type() == QEvent::Show;
        return false;
    }
    bool shown = false;
};

// A runner on a platform that refuses to make a thread.
class NoWorkerExecutor : public AsyncExecutor {
protected:
    std::thread CreateWorker(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

class DashboardTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        manager_->SetInstalled(raw_state::kRunning);
        SetDefaultServiceManager(manager_);
        Server().SetFramedReply("statistic", kGoodStatistic);
        Server().SetFramedReply("engine", kEngineText);
        Server().SetFramedReply("bandwidth", R"({"bytes":0})");
    }
    void TearDown() override {
        SetDefaultServiceManager(nullptr);
        PageTest::TearDown();
    }
    static Figures Values(const CDashboardDlg& page) {
        Figures values;
        for (int row = 0; row < 5; ++row) values.push_back(page.StatisticValue(row));
        return values;
    }

    std::shared_ptr<FakeServiceManager> manager_ = std::make_shared<FakeServiceManager>();
};

TEST_F(DashboardTest, CreationPollsOnceInOrderShowsTheFiguresAndStartsTheTimers) {
    CDashboardDlg page(nullptr);
    EXPECT_EQ(Sent(), "bandwidth\r\nstatistic\r\nengine\r\nsystem\r\n");
    EXPECT_EQ(Values(page), (Figures{kEngineText, "7", "3", "1.5 GB", "-2"}));
    EXPECT_EQ(page.EngineButton()->text(), "Stop proxy service");
    QStringList timers;  // id:period of every running poll timer
    for (int id = 0; id < 6; ++id) {
        if (QTimer* t = page.Timer(id); t && t->isActive())
            timers << QString("%1:%2").arg(id).arg(t->interval());
    }
    EXPECT_EQ(timers.join(' '), "1:2000 2:5000 3:10000 4:60000");
}

// The newest point of the rate series and the top of both vertical axes.
std::pair<double, double> NewestRateAndTop(const CDashboardDlg& page) {
    const chart::RateChart& rate = page.RateChart();
    const unsigned count = rate.series->GetPointsCount();
    EXPECT_EQ(count, chart::RateHistory::kSamples);
    EXPECT_EQ(rate.leftAxis->GetMax(), rate.rightAxis->GetMax());
    return {count ? rate.series->GetPoint(count - 1).GetY() : -1.0, rate.leftAxis->GetMax()};
}

TEST_F(DashboardTest, RateChartTakesEachBandwidthSampleAndKeepsStillOnFailures) {
    CDashboardDlg page(nullptr);
    // 5000000 is larger than any sample before it in this process, so the range grows to 110 %
    // of it; failures leave the chart still; no "bytes" is a sample of 0.
    for (const auto& [running, reply, newest] :
         {std::tuple{true, R"({"err_code":1,"bytes":5000000})", 5e6},
          {true, "not json", 5e6},
          {true, R"({"bytes":"many"})", 5e6},
          {true, R"({"bytes":-1})", 5e6},
          {false, "{}", 5e6},
          {true, "{}", 0.0}}) {
        SetServerRunning(running);
        Server().SetFramedReply("bandwidth", reply);
        page.RefreshRate();
        EXPECT_EQ(NewestRateAndTop(page), (std::pair{newest, 5.5e6})) << reply << running;
    }
}

TEST_F(DashboardTest, StoppedServerShowsTheConsoleStartTimeAndEmptyFigures) {
    manager_->SetState(raw_state::kStopped);
    SetServerRunning(false);
    CDashboardDlg page(nullptr);
    EXPECT_EQ(Sent(), "");
    Figures values = Values(page);
    const QRegularExpression localTime(R"(^\d{4}-[1-9]\d?-[1-9]\d? \d{1,2}:\d{1,2}:\d{1,2}$)");
    EXPECT_TRUE(localTime.match(values[0]).hasMatch()) << values[0].toStdString();
    values[0] = "start";
    EXPECT_EQ(values, (Figures{"start", "", "", "", ""}));
}

TEST_F(DashboardTest, MissingDataReadsAsZeroAndAFailedEngineKeepsTheStartTime) {
    CDashboardDlg page(nullptr);
    Server().SetFramedReply("statistic", R"({"data":{"onlineUsers":1}})");
    Server().SetReply("engine", ScriptedChannelServer::Reply::Hangup());
    page.RefreshStatistics();
    EXPECT_EQ(Values(page), (Figures{kEngineText, "1", "0", "", "0"}));
    Server().SetFramedReply("statistic", R"({"err_code":0})");
    Server().SetFramedReply("engine", "");
    page.RefreshStatistics();
    EXPECT_EQ(Values(page), (Figures{"", "0", "0", "", "0"}));
}

TEST_F(DashboardTest, FailedStatisticKeepsEveryFigureAndAsksForNoEngine) {
    CDashboardDlg page(nullptr);
    const Figures before = Values(page);
    Server().SetFramedReply("engine", "should not be asked for");
    for (const auto& [running, reply] : {std::pair{false, kGoodStatistic},
                                         {true, "onlineUsers=7"},
                                         {true, R"({"err_code":3,"data":{"onlineUsers":9}})"},
                                         {true, R"({"data":[1]})"}}) {
        SetServerRunning(running);
        Server().SetFramedReply("statistic", reply);
        Sent();
        page.RefreshStatistics();
        EXPECT_EQ(Values(page), before) << reply;
        EXPECT_EQ(Sent(), running ? "statistic\r\n" : "") << reply;
    }
    EXPECT_TRUE(sink_.Shown().empty());
}

TEST_F(DashboardTest, ButtonAndLampFollowTheServiceState) {
    const std::tuple<int, const char*, bool> cases[] = {
        {-1, "Proxy service is not installed", false},
        {raw_state::kStopped, "Start proxy service", false},
        {raw_state::kStartPending, "Starting proxy service", true},
        {raw_state::kStopPending, "Stopping proxy service", false},
        {raw_state::kRunning, "Stop proxy service", true},
        {raw_state::kPaused, "Start proxy service", false}};
    for (const auto& [state, label, green] : cases) {
        state < 0 ? manager_->SetNotInstalled() : manager_->SetInstalled(state);
        CDashboardDlg page(nullptr);
        EXPECT_EQ(page.EngineButton()->text(), label);
        EXPECT_EQ(LampGreen(page), green) << label;
        EXPECT_EQ(page.LampRunning(), green) << label;
    }
    for (int unknown : {-1, 5, 99}) {
        EXPECT_EQ(res::Str(EngineLookOf(unknown).stringId), "Can't identify proxy service");
        EXPECT_FALSE(EngineLookOf(unknown).lampRunning);
    }
}

TEST_F(DashboardTest, EngineClickTogglesThroughTheRunnerOrSaysOperationFailed) {
    struct Case {
        uint32_t startRefused;
        bool worker;
        const char* label;
    };
    for (const Case& c : {Case{0, true, "Stop proxy service"},
                          Case{service_error::kAccessDenied, true, "Start proxy service"},
                          Case{0, false, "Start proxy service"}}) {
        manager_->SetInstalled(raw_state::kStopped);
        manager_->SetStartRefused(c.startRefused);
        const int startsBefore = manager_->calls().start;
        const size_t shownBefore = sink_.Shown().size();
        CDashboardDlg page(nullptr);
        page.SetToggleLimitMs(3000);
        AsyncExecutor runner(std::chrono::milliseconds(20));
        NoWorkerExecutor noWorker;
        page.SetTaskRunner(c.worker ? &runner : &noWorker);
        ShowSpy busy(page.BusyDialog());
        if (!c.worker) {  // should the busy box appear, close it so the test ends (and fails)
            QTimer::singleShot(0, &page, [&] {
                QCoreApplication::postEvent(page.BusyDialog(), new QEvent(kCloseBusyEvent));
            });
        }
        page.EngineButton()->click();  // returns once the busy box has closed
        // 2026 is posted right after 2025 and may come after the busy box has gone.
        ASSERT_TRUE(runner.WaitUntilIdle(std::chrono::seconds(5)));
        QCoreApplication::processEvents();
        EXPECT_EQ(manager_->calls().start - startsBefore, c.worker ? 1 : 0) << c.label;
        EXPECT_EQ(page.EngineButton()->text(), c.label);
        EXPECT_EQ(LampGreen(page), c.startRefused == 0 && c.worker);  // relabelled on 2026
        EXPECT_EQ(busy.shown, c.worker);
        EXPECT_FALSE(page.BusyDialog()->isVisible());
        const std::vector<ShownMessage> shown = sink_.Shown();
        if (c.startRefused == 0 && c.worker) {
            EXPECT_EQ(shown.size(), shownBefore);
            continue;
        }
        ASSERT_EQ(shown.size(), shownBefore + 1);
        EXPECT_EQ(shown.back().text + "|" + shown.back().caption, "Operation failed|Tip");
        EXPECT_EQ(shown.back().icon, MessageIcon::Warning);
        EXPECT_TRUE(!shown.back().hasParent || !c.worker);  // the completion's box has no owner
    }
}

TEST_F(DashboardTest, LayoutSplitsThePageIntoEngineChartAndStatistics) {
    CDashboardDlg page(nullptr);
    page.resize(1005, 305);  // inner area 995 x 295 from (5, 5)
    page.show();
    const int splitX = 5 + (2 * 995) / 3, splitY = 5 + 295 / 4;
    const QRect engine = page.findChild<QGroupBox*>("group1038")->geometry();
    EXPECT_EQ(engine, QRect(QPoint(6, 6), QPoint(splitX - 2, splitY - 2)));
    EXPECT_EQ(page.ChartArea()->objectName(), "chart1001");
    EXPECT_EQ(page.ChartArea()->geometry(), QRect(QPoint(6, splitY + 1), QPoint(splitX - 2, 298)));
    const QRect stats = page.findChild<QGroupBox*>("group1037")->geometry();
    EXPECT_EQ(stats, QRect(QPoint(splitX + 1, 6), QPoint(998, 298)));
    EXPECT_EQ(page.StatisticsTable()->geometry(), stats.adjusted(5, 20, -5, -20));
    const QRect lamp = page.Lamp()->geometry();
    EXPECT_EQ(lamp, QRect(engine.left() + 10, lamp.top(), 15, 15));
    EXPECT_EQ(page.EngineButton()->x(), engine.left() + 20 + 15);
    EXPECT_LE(std::abs(lamp.center().y() - engine.center().y()), 1);
    EXPECT_LE(std::abs(page.EngineButton()->geometry().center().y() - engine.center().y()), 1);
    // The button keeps its size whatever it says.
    const QSize buttonSize = page.EngineButton()->size();
    manager_->SetNotInstalled();
    page.RefreshEngineState();
    page.resize(800, 260);
    EXPECT_EQ(page.EngineButton()->size(), buttonSize);
}

TEST_F(DashboardTest, StatisticsTableHasItsColumnsAndRows) {
    CDashboardDlg page(nullptr);
    const QTableView* table = page.StatisticsTable();
    const QAbstractItemModel* model = table->model();
    ASSERT_EQ(model->columnCount(), 2);
    QStringList texts{model->headerData(0, Qt::Horizontal).toString(),
                      model->headerData(1, Qt::Horizontal).toString()};
    for (int row = 0; row < model->rowCount(); ++row) {
        texts << model->index(row, 0).data().toString();
        EXPECT_FALSE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        EXPECT_EQ(model->index(row, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }
    EXPECT_EQ(texts.join('|'),
              "Item|Value|Start time|Online Users|Online Devices|Total Network Flow|Alarms");
    // At least the declared 100 pixels, and wide enough for the icon and the longest label.
    const int longest = QFontMetrics(table->font()).horizontalAdvance("Total Network Flow");
    EXPECT_GT(table->columnWidth(0), std::max(99, 16 + longest));
    EXPECT_EQ(table->columnWidth(1), 150);
}

}  // namespace
