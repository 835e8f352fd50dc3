// The dashboard against the scripted control channel and a fake service manager.
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "service/ServiceManagerFactory.h"
#include "tasks/AsyncExecutor.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/fakes/RefusingExecutor.h"
#include "tests/support/TempDir.h"
#include "tests/support/ViewChecks.h"
#include "tests/ui/pages/PageTestEnv.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/common/PrivateEvents.h"
#include "ui/pages/plumbing/ServiceNotices.h"
#include "ui/pages/tabs/CDashboardDlg.h"

namespace {

constexpr char kGoodStatistic[] =
    R"({"err_code":0,"err_msg":"","data":{"onlineUsers":7,"onlineDevices":3,)"
    R"("totalAlarms":-2,"totalIOBytes":"1.5 GB"}})";
constexpr char kEngineText[] = "2026-12-6 8:1:2";

bool LampGreen(const CDashboardDlg& page) {
    const QImage image = page.Lamp()->pixmap().toImage();
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.green() > centre.red();
}

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
    void TearDown() override { SetDefaultServiceManager(nullptr); }
    // Clicks the engine button with `runner` doing the work (a refusing one: the busy box would
    // never close, so it is closed should it appear) and waits until the page is relabelled.
    static void ClickEngine(CDashboardDlg& page, AsyncExecutor& runner, bool refusing = false) {
        page.SetToggleLimitMs(3000);
        page.SetTaskRunner(&runner);
        if (refusing) {
            QTimer::singleShot(0, &page, [&] {
                QCoreApplication::postEvent(page.BusyDialog(), new QEvent(kCloseBusyEvent));
            });
        }
        page.EngineButton()->click();  // returns once the busy box has closed
        // 2026 is posted right after 2025 and may come after the busy box has gone.
        ASSERT_TRUE(runner.WaitUntilIdle(std::chrono::seconds(5)));
        QCoreApplication::processEvents();
        Settle();  // the relabelling asks the worker for the state
    }
    static QStringList Values(const CDashboardDlg& page) {  // as the table shows them
        return test::ColumnTexts(*page.StatisticsTable()->model(), 1);
    }

    std::shared_ptr<FakeServiceManager> manager_ = std::make_shared<FakeServiceManager>();
};

TEST_F(DashboardTest, CreationPollsOnceInOrderOrShowsTheStartTimeWhenStopped) {
    {
        CDashboardDlg page(nullptr);
        Settle();
        EXPECT_EQ(Sent(), "bandwidth\r\nstatistic\r\nengine\r\nsystem\r\n");
        EXPECT_EQ(Values(page), (QStringList{kEngineText, "7", "3", "1.5 GB", "-2"}));
        QStringList timers;  // id:period of every running poll timer
        for (int id = 0; id < 6; ++id)
            if (QTimer* t = page.Timer(id); t && t->isActive())
                timers << QString("%1:%2").arg(id).arg(t->interval());
        EXPECT_EQ(timers.join(' '), "1:2000 2:5000 3:10000 4:60000");
    }
    manager_->SetState(raw_state::kStopped);
    SetServerRunning(false);
    CDashboardDlg page(nullptr);
    Settle();
    EXPECT_EQ(Sent(), "");
    const QStringList v = Values(page);
    const QRegularExpression localTime(R"(^\d{4}-[1-9]\d?-[1-9]\d? \d{1,2}:\d{1,2}:\d{1,2}$)");
    EXPECT_TRUE(localTime.match(v[0]).hasMatch()) << v[0].toStdString();
    EXPECT_EQ(v.mid(1), QStringList(4, ""));
}

// A failed statistic asks for no engine time; a sample without "bytes" is 0; 5e6 tops every
// earlier sample, so the chart's range grows to 110 % of it.
TEST_F(DashboardTest, FailedPollsLeaveTheFiguresAndTheChartAsTheyWere) {
    CDashboardDlg page(nullptr);
    Settle();
    const QStringList before = Values(page);
    Server().SetFramedReply("engine", "should not be asked for");
    for (const auto& [running, reply] :
         {std::pair{false, kGoodStatistic}, {true, R"({"err_code":3,"data":{"onlineUsers":9}})"}}) {
        SetServerRunning(running);
        Server().SetFramedReply("statistic", reply);
        Sent();
        page.RefreshStatistics();
        Settle();
        EXPECT_EQ(Values(page), before) << reply;
        EXPECT_EQ(Sent(), running ? "statistic\r\n" : "") << reply;
    }
    EXPECT_TRUE(sink_.Shown().empty());
    SetServerRunning(true);
    Server().SetFramedReply("statistic", R"({"data":{"onlineUsers":1}})");  // the rest reads 0
    Server().SetReply("engine", ScriptedChannelServer::Reply::Hangup());
    page.RefreshStatistics();
    Settle();
    EXPECT_EQ(Values(page), (QStringList{kEngineText, "1", "0", "", "0"}));
    const dashboard::RateChart& rate = page.RateChart();
    for (const auto& [running, reply, newest] :
         {std::tuple{true, R"({"err_code":1,"bytes":5000000})", 5e6},
          {false, "{}", 5e6},
          {true, "{}", 0.0}}) {
        SetServerRunning(running);
        Server().SetFramedReply("bandwidth", reply);
        page.RefreshRate();
        Settle();
        const unsigned count = rate.series->GetPointsCount();
        ASSERT_EQ(count, dashboard::RateHistory::kSamples);
        EXPECT_EQ(rate.series->GetPoint(count - 1).GetY(), newest) << reply << running;
        EXPECT_TRUE(rate.leftAxis->GetMax() == 5.5e6 && rate.rightAxis->GetMax() == 5.5e6);
    }
}

// A new start time means a restarted server: what the old run moved leaves the chart.
TEST_F(DashboardTest, ARestartedServerClearsTheRateChart) {
    CDashboardDlg page(nullptr);
    Settle();  // the creation's polls: a poll still waiting would skip the next one
    Server().SetFramedReply("bandwidth", R"({"bytes":70000})");
    page.RefreshRate();
    Settle();
    const dashboard::RateChart& rate = page.RateChart();
    auto newest = [&] { return rate.series->GetPoint(rate.series->GetPointsCount() - 1).GetY(); };
    ASSERT_EQ(newest(), 70000);
    Server().SetFramedReply("engine", "2026-12-7 20:0:1");
    page.RefreshStatistics();
    Settle();
    for (unsigned i = 0; i < rate.series->GetPointsCount(); ++i)
        EXPECT_EQ(rate.series->GetPoint(i).GetY(), 0) << i;
    EXPECT_EQ(rate.leftAxis->GetMax(), 100);
}

TEST_F(DashboardTest, EngineClickTogglesThroughTheRunnerOrSaysOperationFailed) {
    for (const auto& [refused, worker, label] :
         {std::tuple{0u, true, "Stop proxy service"},
          {service_error::kAccessDenied, true, "Start proxy service"},
          {0u, false, "Start proxy service"}}) {
        manager_->SetInstalled(raw_state::kStopped);
        manager_->SetStartRefused(refused);
        const int startsBefore = manager_->calls().start;
        const qsizetype shownBefore = sink_.Shown().size();
        CDashboardDlg page(nullptr);
        Settle();
        AsyncExecutor runner(std::chrono::milliseconds(20));
        RefusingExecutor noWorker;
        QSignalSpy busy(page.BusyDialog(), &QDialog::finished);  // shown, then closed
        ClickEngine(page, worker ? runner : noWorker, !worker);
        const bool ok = refused == 0 && worker;
        EXPECT_EQ(manager_->calls().start - startsBefore, worker ? 1 : 0) << label;
        EXPECT_EQ(page.EngineButton()->text(), label);
        EXPECT_EQ(LampGreen(page), ok);  // relabelled on 2026
        EXPECT_TRUE(busy.count() == worker && !page.BusyDialog()->isVisible());
        // the page's box, once the busy box has gone; it says why
        const QString failed =
            Failed(worker ? "The service manager refused: access denied (5)" : "");
        EXPECT_EQ(sink_.Shown().mid(shownBefore), ok ? QStringList() : QStringList(failed));
    }
}

// A server that ends while starting (its port taken) is told at once, in its own words after
// the fixed text, in either language; a start that never comes up is told with the limit.
TEST_F(DashboardTest, AFailedStartSaysWhyAsSoonAsTheServerHasGone) {
    const std::string why = "cannot listen on port 18765: Address already in use";
    using enum res::UiLanguage;
    const std::vector<uint32_t> ended{raw_state::kStartPending, raw_state::kStopped};
    const std::tuple<res::UiLanguage, std::vector<uint32_t>, std::string, const char*> rows[] = {
        {English, ended, why, "The proxy server stopped while starting: "},
        {Chinese, ended, why, "代理服务器在启动时退出："},
        {English,
         {raw_state::kStopped},
         "",
         "The proxy server stopped while starting and gave no reason; see the Alarm tab."},
        {English,
         {raw_state::kStartPending},
         "",
         "The proxy server did not report running within 3 s."},
    };
    for (const auto& [language, states, reason, told] : rows) {
        res::SetUiLanguage(language);
        manager_->SetInstalled(raw_state::kStopped);
        manager_->SetStartSequence(states);
        manager_->SetExitReason(reason);
        const qsizetype shownBefore = sink_.Shown().size();
        CDashboardDlg page(nullptr);
        Settle();
        AsyncExecutor runner(std::chrono::milliseconds(0));
        bool busyBehind = false;  // the busy box never stands behind the message
        sink_.whenShown = [&] { busyBehind = busyBehind || page.BusyDialog()->isVisible(); };
        const auto begun = std::chrono::steady_clock::now();
        ClickEngine(page, runner);
        sink_.whenShown = nullptr;
        EXPECT_FALSE(busyBehind);
        const auto took = std::chrono::steady_clock::now() - begun;
        res::SetUiLanguage(English);
        // Only the start that stays pending waits out the 3 s limit: a bound, not a timing.
        if (states.back() == raw_state::kStopped) {
            EXPECT_LT(took, std::chrono::seconds(3));
        }
        EXPECT_EQ(sink_.Shown().mid(shownBefore),
                  QStringList(Failed(QString::fromStdString(told + reason))));
    }
}

// On one line in a wide window, wrapped onto a taller row in the smallest one.
TEST_F(DashboardTest, StatisticsLabelsAreNeverCutShort) {
    CDashboardDlg page(nullptr);
    page.show();
    const QTableView& table = *page.StatisticsTable();
    const QFontMetrics metrics(table.font());
    const int besideText = table.iconSize().width() + 12;  // the icon and the cell's margins
    for (const int width : {1260, 790}) {  // the page in a wide and in the smallest window
        page.resize(width, 290);
        Settle();
        for (int row = 0; row < table.model()->rowCount(); ++row) {
            const QString label = table.model()->index(row, 0).data().toString();
            const int room = table.columnWidth(0) - besideText;
            if (width > 1000) {
                EXPECT_LE(metrics.horizontalAdvance(label), room) << label.toStdString();
            } else {
                const QRect lines =
                    metrics.boundingRect(QRect(0, 0, room, 1000), Qt::TextWordWrap, label);
                EXPECT_LE(lines.height(), table.rowHeight(row)) << label.toStdString();
            }
        }
    }
}

// A private session bus with python3-dbusmock's notification daemon on it.
class NoticesTest : public DashboardTest {
protected:
    void SetUp() override {
        DashboardTest::SetUp();
        const QString address = "unix:path=" + QString::fromStdString(dir_.file("bus"));
        daemon_.start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--address=" + address});
        ASSERT_TRUE(QTest::qWaitFor([this] { return std::filesystem::exists(dir_.file("bus")); }));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        mock_.setProcessEnvironment(env);
        mock_.start("/usr/bin/python3", {"-m", "dbusmock", "--session", "-t", "notification_daemon",
                                         "-l", QString::fromStdString(dir_.file("log"))});
        bus_ = QDBusConnection::connectToBus(address, "notices");
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                return bus_.interface()->isServiceRegistered("org.freedesktop.Notifications");
            },
            20000));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("notices");
        for (QProcess* p : {&mock_, &daemon_}) {
            p->kill();
            p->waitForFinished();
        }
        DashboardTest::TearDown();
    }
    QStringList Notices() const {
        QStringList notices;
        const QRegularExpression notify(R"re(Notify "TorvoProxy" 0 "[^"]*" "([^"]*)" "([^"]*)")re");
        for (const auto& m :
             notify.globalMatch(QString::fromStdString(test::ReadText(dir_.file("log")))))
            notices << m.captured(1) + ": " + m.captured(2);
        return notices;
    }
    static void Alarms(int total) {
        Server().SetFramedReply(
            "statistic", R"({"err_code":0,"data":{"totalAlarms":)" + std::to_string(total) + "}}");
    }

    test::TempDir dir_;
    QProcess daemon_, mock_;
    QDBusConnection bus_{"none"};
};

// The tray tip tells of an unasked stop until the service runs again, then is the title again.
TEST_F(NoticesTest, AnUnaskedStopAndNewAlarmsAreToldOnceAndTheConsolesOwnStopIsNot) {
    const QString stopped =
        "TorvoProxy: the proxy server stopped: The proxy service is no longer "
        "running. Click “Start proxy service” to start it again.";
    auto alarms = [](int added, int total) {
        return QString("TorvoProxy: new alarms: %1 new alarm(s), %2 in all. See the Alarm tab.")
            .arg(QString::number(added), QString::number(total));
    };
    Alarms(0);
    CDashboardDlg page(nullptr);
    const auto* notices = new ServiceNotices(&page, DesktopNotifier(bus_));
    Settle();  // running, no alarms: what is, not news
    const QString title = res::Str(res::IDS_MAIN_TITLE);
    EXPECT_EQ(notices->Tip(), title);
    Alarms(2);  // the first alarms ever are news too
    manager_->SetState(raw_state::kStopped);
    for (int poll = 0; poll < 2; ++poll) {  // the second reading is not news
        page.RefreshStatistics();
        page.RefreshEngineState();
        Settle();
    }
    const QStringList told{alarms(2, 2), stopped};
    EXPECT_TRUE(QTest::qWaitFor([&] { return Notices() == told; }, 10000))
        << Notices().join('\n').toStdString();

    for (const uint32_t state : {raw_state::kStartPending, raw_state::kRunning}) {
        manager_->SetState(state);
        page.RefreshEngineState();
        Settle();
        EXPECT_EQ(notices->Tip().startsWith("TorvoProxy: the proxy server stopped"),
                  state != raw_state::kRunning)
            << state;
    }
    EXPECT_EQ(notices->Tip(), title);
    // The engine button's stop was asked for: the next notice is the alarm's.
    AsyncExecutor runner(std::chrono::milliseconds(20));
    ClickEngine(page, runner);
    EXPECT_EQ(page.EngineButton()->text(), "Start proxy service");
    Alarms(3);
    page.RefreshStatistics();
    Settle();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Notices() == told + QStringList{alarms(1, 3)}; }, 10000))
        << Notices().join('\n').toStdString();
}

}  // namespace
