// The dashboard against the scripted control channel and a fake service manager.
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <memory>
#include <system_error>

#include "service/ServiceManagerFactory.h"
#include "tasks/AsyncExecutor.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/pages/PageTestEnv.h"
#include "ui/PrivateEvents.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/pages/CDashboardDlg.h"
#include "ui/pages/EngineLook.h"
#include "ui/pages/StatisticsTableModel.h"
#include "ui/res/Strings.h"

namespace {

using Reply = ScriptedChannelServer::Reply;

constexpr char kGoodStatistic[] =
    R"({"err_code":0,"err_msg":"","data":{"onlineUsers":7,"onlineDevices":3,)"
    R"("totalAlarms":-2,"totalIOBytes":"1.5 GB"}})";
constexpr char kEngineText[] = "2026-12-6 8:1:2";

enum class Lamp { Red, Green };

// The lamp's colour read from its pixels.
Lamp LampColour(const QLabel& lamp) {
    const QImage image = lamp.pixmap().toImage();
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.green() > centre.red() ? Lamp::Green : Lamp::Red;
}

class DashboardTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        manager_ = std::make_shared<FakeServiceManager>();
        manager_->SetInstalled(raw_state::kRunning);
        SetDefaultServiceManager(manager_);
        Server().SetFramedReply("statistic", kGoodStatistic);
        Server().SetFramedReply("engine", kEngineText);
        Server().SetFramedReply("system", "ignored");
        Server().SetFramedReply("bandwidth", R"({"bytes":0})");
    }
    void TearDown() override {
        SetDefaultServiceManager(nullptr);
        PageTest::TearDown();
    }

    std::vector<QString> Values(const CDashboardDlg& page) const {
        std::vector<QString> values;
        for (int row = 0; row < StatisticsTableModel::kRowCount; ++row) {
            values.push_back(page.StatisticValue(row));
        }
        return values;
    }

    std::shared_ptr<FakeServiceManager> manager_;
};

TEST_F(DashboardTest, CreationPollsOnceInOrderAndShowsTheFigures) {
    CDashboardDlg page(nullptr);
    EXPECT_EQ(NewBytes(), "bandwidth\r\nstatistic\r\nengine\r\nsystem\r\n");
    EXPECT_EQ(Values(page), (std::vector<QString>{kEngineText, "7", "3", "1.5 GB", "-2"}));
    EXPECT_EQ(page.EngineButton()->text(), "Stop proxy service");
}

TEST_F(DashboardTest, TimersHaveTheirPeriods) {
    CDashboardDlg page(nullptr);
    const std::pair<int, int> expected[] = {{CDashboardDlg::kRateTimer, 2000},
                                            {CDashboardDlg::kStatisticTimer, 5000},
                                            {CDashboardDlg::kEngineStateTimer, 10000},
                                            {CDashboardDlg::kSystemTimer, 60000}};
    for (auto [id, period] : expected) {
        ASSERT_NE(page.Timer(id), nullptr) << id;
        EXPECT_TRUE(page.Timer(id)->isActive());
        EXPECT_EQ(page.Timer(id)->interval(), period);
    }
    EXPECT_EQ(page.Timer(5), nullptr);
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
    EXPECT_EQ(page.ChartArea()->objectName(), "chart1001");
    // Larger than any sample before it in this process, so the range grows to 110 % of it.
    Server().SetFramedReply("bandwidth", R"({"err_code":1,"bytes":5000000})");
    page.RefreshRate();
    EXPECT_EQ(NewestRateAndTop(page), (std::pair<double, double>{5000000.0, 5500000.0}));

    for (const char* unreadable : {"not json", R"({"bytes":"many"})", R"({"bytes":-1})"}) {
        Server().SetFramedReply("bandwidth", unreadable);
        page.RefreshRate();
        EXPECT_EQ(NewestRateAndTop(page), (std::pair<double, double>{5000000.0, 5500000.0}))
            << unreadable;
    }
    SetServerRunning(false);
    page.RefreshRate();
    EXPECT_EQ(NewestRateAndTop(page), (std::pair<double, double>{5000000.0, 5500000.0}));

    SetServerRunning(true);
    Server().SetFramedReply("bandwidth", "{}");  // no "bytes": a sample of 0
    page.RefreshRate();
    EXPECT_EQ(NewestRateAndTop(page), (std::pair<double, double>{0.0, 5500000.0}));
}

TEST_F(DashboardTest, StoppedServerShowsTheConsoleStartTimeAndEmptyFigures) {
    manager_->SetState(raw_state::kStopped);
    SetServerRunning(false);
    CDashboardDlg page(nullptr);
    EXPECT_TRUE(NewRequests().empty());
    const std::vector<QString> values = Values(page);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-[1-9]\d?-[1-9]\d? \d{1,2}:\d{1,2}:\d{1,2}$)")
                    .match(values[0])
                    .hasMatch())
        << values[0].toStdString();
    EXPECT_EQ((std::vector<QString>(values.begin() + 1, values.end())),
              (std::vector<QString>{"", "", "", ""}));
    EXPECT_EQ(page.EngineButton()->text(), "Start proxy service");
    EXPECT_EQ(LampColour(*page.Lamp()), Lamp::Red);
}

TEST_F(DashboardTest, MissingDataReadsAsZeroAndEmptyThenAsksForTheStartTime) {
    CDashboardDlg page(nullptr);
    Server().SetFramedReply("statistic", R"({"err_code":0})");
    Server().SetFramedReply("engine", "");
    page.RefreshStatistics();
    EXPECT_EQ(Values(page), (std::vector<QString>{"", "0", "0", "", "0"}));
}

struct StatisticFailure {
    const char* name;
    bool serverRunning;
    std::string statistic;  // framed reply to "statistic"
};

class DashboardFailureTest : public DashboardTest,
                             public ::testing::WithParamInterface<StatisticFailure> {};

TEST_P(DashboardFailureTest, KeepsEveryFigureAndSendsNoEngine) {
    CDashboardDlg page(nullptr);
    const std::vector<QString> before = Values(page);
    const size_t bytesBefore = NewBytes().size();

    SetServerRunning(GetParam().serverRunning);
    Server().SetFramedReply("statistic", GetParam().statistic);
    Server().SetFramedReply("engine", "should not be asked for");
    page.RefreshStatistics();

    EXPECT_EQ(Values(page), before);
    EXPECT_EQ(NewBytes().substr(bytesBefore), GetParam().serverRunning ? "statistic\r\n" : "");
    EXPECT_TRUE(sink_.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DashboardFailureTest,
    ::testing::Values(StatisticFailure{"ServiceNotRunning", false, kGoodStatistic},
                      StatisticFailure{"NotJson", true, "onlineUsers=7"},
                      StatisticFailure{"ErrCode", true,
                                       R"({"err_code":3,"data":{"onlineUsers":9}})"},
                      StatisticFailure{"DataNotObject", true, R"({"err_code":0,"data":[1]})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DashboardTest, EngineFailureKeepsTheStartTime) {
    CDashboardDlg page(nullptr);
    Server().SetFramedReply("statistic", R"({"data":{"onlineUsers":1}})");
    Server().SetReply("engine", Reply::Hangup());
    page.RefreshStatistics();
    EXPECT_EQ(Values(page), (std::vector<QString>{kEngineText, "1", "0", "", "0"}));
}

TEST_F(DashboardTest, SendSystemSendsOnlySystem) {
    CDashboardDlg page(nullptr);
    const size_t before = NewBytes().size();
    page.SendSystem();
    EXPECT_EQ(NewBytes().substr(before), "system\r\n");
}

struct EngineCase {
    uint32_t rawState;
    bool installed;
    const char* english;
    const char* chinese;
    Lamp lamp;
};

class EngineStateTest : public DashboardTest, public ::testing::WithParamInterface<EngineCase> {};

TEST_P(EngineStateTest, ButtonAndLampFollowTheServiceState) {
    const EngineCase& c = GetParam();
    if (c.installed) {
        manager_->SetInstalled(c.rawState);
    } else {
        manager_->SetNotInstalled();
    }
    CDashboardDlg page(nullptr);
    EXPECT_EQ(page.EngineButton()->text(), QString::fromUtf8(c.english));
    EXPECT_EQ(LampColour(*page.Lamp()), c.lamp);
    EXPECT_EQ(page.LampRunning(), c.lamp == Lamp::Green);

    res::SetUiLanguage(res::UiLanguage::Chinese);
    page.RefreshEngineState();
    res::SetUiLanguage(res::UiLanguage::English);
    EXPECT_EQ(page.EngineButton()->text(), QString::fromUtf8(c.chinese));
}

INSTANTIATE_TEST_SUITE_P(
    States, EngineStateTest,
    ::testing::Values(
        EngineCase{0, false, "Proxy service is not installed", "代理服务未安装", Lamp::Red},
        EngineCase{raw_state::kStopped, true, "Start proxy service", "启动代理服务", Lamp::Red},
        EngineCase{raw_state::kStartPending, true, "Starting proxy service", "代理服务启动中",
                   Lamp::Green},
        EngineCase{raw_state::kStopPending, true, "Stopping proxy service", "代理服务停止中",
                   Lamp::Red},
        EngineCase{raw_state::kRunning, true, "Stop proxy service", "停止代理服务", Lamp::Green},
        EngineCase{raw_state::kPaused, true, "Start proxy service", "启动代理服务", Lamp::Red}));

TEST(EngineLookTest, AStateOutsideTheKnownOnesCannotBeIdentified) {
    for (int state : {-1, 5, 99}) {
        const EngineLook look = EngineLookOf(state);
        EXPECT_EQ(res::Str(look.stringId, res::UiLanguage::English),
                  "Can't identify proxy service");
        EXPECT_EQ(res::Str(look.stringId, res::UiLanguage::Chinese),
                  QString::fromUtf8("无法识别服务状态"));
        EXPECT_FALSE(look.lampRunning);
    }
}

TEST_F(DashboardTest, ToggleFinishedEventRelabelsTheButton) {
    CDashboardDlg page(nullptr);
    ASSERT_EQ(page.EngineButton()->text(), "Stop proxy service");
    manager_->SetState(raw_state::kStopped);
    QCoreApplication::postEvent(&page, new QEvent(kToggleFinishedEvent));
    QCoreApplication::processEvents();
    EXPECT_EQ(page.EngineButton()->text(), "Start proxy service");
    EXPECT_EQ(LampColour(*page.Lamp()), Lamp::Red);
}

TEST_F(DashboardTest, EngineClickStartsTheStoppedServiceThroughTheRunner) {
    manager_->SetState(raw_state::kStopped);
    CDashboardDlg page(nullptr);
    page.SetToggleLimitMs(3000);
    AsyncExecutor runner(std::chrono::milliseconds(20));
    page.SetTaskRunner(&runner);

    ShowSpy busyShown(page.BusyDialog());
    page.EngineButton()->click();  // returns once the completion has closed the busy box
    // 2026 is posted right after 2025 and may come after the busy box has gone.
    ASSERT_TRUE(runner.WaitUntilIdle(std::chrono::seconds(5)));
    QCoreApplication::processEvents();

    EXPECT_EQ(manager_->calls().start, 1);
    EXPECT_EQ(page.EngineButton()->text(), "Stop proxy service");
    EXPECT_EQ(LampColour(*page.Lamp()), Lamp::Green);
    EXPECT_TRUE(sink_.Shown().empty());
    EXPECT_TRUE(busyShown.shown);
    EXPECT_FALSE(page.BusyDialog()->isVisible());
}

TEST_F(DashboardTest, FailedToggleSaysOperationFailedWithoutOwner) {
    manager_->SetState(raw_state::kStopped);
    manager_->SetStartRefused(service_error::kAccessDenied);
    CDashboardDlg page(nullptr);
    page.SetToggleLimitMs(300);
    AsyncExecutor runner(std::chrono::milliseconds(20));
    page.SetTaskRunner(&runner);

    page.OnEngineButton();
    ASSERT_TRUE(runner.WaitUntilIdle(std::chrono::seconds(5)));
    QCoreApplication::processEvents();

    const std::vector<ShownMessage> shown = sink_.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Operation failed");
    EXPECT_EQ(shown[0].caption, "Tip");
    EXPECT_EQ(shown[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(shown[0].hasParent);
    EXPECT_EQ(page.EngineButton()->text(), "Start proxy service");
}

// A runner on a platform that refuses to make a thread.
class NoWorkerExecutor : public AsyncExecutor {
protected:
    std::thread CreateWorker(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

TEST_F(DashboardTest, NoWorkerReportsTheFailureAndShowsNoBusyBox) {
    manager_->SetState(raw_state::kStopped);
    CDashboardDlg page(nullptr);
    NoWorkerExecutor runner;
    page.SetTaskRunner(&runner);
    ShowSpy busyShown(page.BusyDialog());
    // Should the busy box appear, close it at once so the test ends (and fails).
    QTimer::singleShot(0, &page, [&] {
        QCoreApplication::postEvent(page.BusyDialog(), new QEvent(kCloseBusyEvent));
    });

    page.OnEngineButton();

    EXPECT_FALSE(busyShown.shown);
    const std::vector<ShownMessage> shown = sink_.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Operation failed");
    EXPECT_EQ(manager_->calls().start, 0);
    EXPECT_EQ(page.EngineButton()->text(), "Start proxy service");
}

TEST_F(DashboardTest, LayoutSplitsThePageIntoEngineChartAndStatistics) {
    CDashboardDlg page(nullptr);
    page.resize(1005, 305);  // inner area 995 x 295 from (5, 5)
    page.show();
    const int splitX = 5 + (2 * 995) / 3;  // 668
    const int splitY = 5 + 295 / 4;        // 78

    const QRect engine = page.findChild<QGroupBox*>("group1038")->geometry();
    EXPECT_EQ(engine, QRect(QPoint(6, 6), QPoint(splitX - 2, splitY - 2)));
    EXPECT_EQ(page.ChartArea()->objectName(), "chart1001");
    EXPECT_EQ(page.ChartArea()->geometry(), QRect(QPoint(6, splitY + 1), QPoint(splitX - 2, 298)));
    const QRect stats = page.findChild<QGroupBox*>("group1037")->geometry();
    EXPECT_EQ(stats, QRect(QPoint(splitX + 1, 6), QPoint(998, 298)));
    EXPECT_EQ(page.StatisticsTable()->geometry(), stats.adjusted(5, 20, -5, -20));

    const QRect lamp = page.Lamp()->geometry();
    EXPECT_EQ(lamp.size(), QSize(15, 15));
    EXPECT_EQ(lamp.left(), engine.left() + 10);
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
    const QAbstractItemModel* model = page.StatisticsTable()->model();
    ASSERT_EQ(model->rowCount(), 5);
    ASSERT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Item");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Value");
    // At least the declared 100 pixels, and wide enough for the icon and the longest label.
    const QFontMetrics metrics(page.StatisticsTable()->font());
    EXPECT_GE(page.StatisticsTable()->columnWidth(0), 100);
    EXPECT_GT(page.StatisticsTable()->columnWidth(0),
              16 + metrics.horizontalAdvance("Total Network Flow"));
    EXPECT_EQ(page.StatisticsTable()->columnWidth(1), 150);
    const char* labels[] = {"Start time", "Online Users", "Online Devices", "Total Network Flow",
                            "Alarms"};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(model->index(row, 0).data().toString(), labels[row]);
        EXPECT_FALSE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        EXPECT_EQ(model->index(row, 1).data(Qt::TextAlignmentRole).toInt(),
                  static_cast<int>(Qt::AlignCenter));
    }
}

}  // namespace
