// The alarm and access-history pages on a real main.db: fill, header sorts, auto-refresh, the
// filter box and the export.
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <fstream>

#include "tests/pages/PageTestEnv.h"
#include "tests/support/TestDb.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/CRecordPages.h"

namespace {

class RecordPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::CreateSchemaDb(dir_.file("main.db"));
        RecordPageModel<AlarmColumns>::PageSortState() = {};
        RecordPageModel<HistoryColumns>::PageSortState() = {};
    }
    DatabaseOptions Db() const { return {dir_.file("main.db"), 1000}; }
    void Run(const std::string& sql) { test::Sql(dir_.file("main.db"), sql); }
    // One column of the shown rows, joined by ",".
    static QString Column(const CRecordPage& page, int column) {
        QStringList texts;
        const auto* model = page.Model();
        for (int row = 0; row < model->rowCount(); ++row) {
            texts << model->data(model->index(row, column), Qt::DisplayRole).toString();
        }
        return texts.join(",");
    }
    static void ClickHeader(CRecordPage& page, int column) {
        QHeaderView* header = page.List()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    test::TempDir dir_;
    test::ScopedTimeZone utc_{"UTC"};
    CapturingSink sink_;
    ScopedMessageSink sinkGuard_{&sink_};
};

// The rows' texts are the record list's (tested with it); here the columns the view shows.
TEST_F(RecordPagesTest, EmptyTablesGiveEmptyListsWithTheirColumns) {
    CAlarmDlg alarms(nullptr, Db());
    CLogDlg history(nullptr, Db());
    EXPECT_EQ(alarms.Model()->rowCount(), 0);
    EXPECT_EQ(history.Model()->rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < history.Model()->columnCount(); ++c) {
        headers << history.Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        headers << QString::number(history.List()->columnWidth(c));
        headers << QString::number(
            history.Model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), 16);
    }
    EXPECT_EQ(headers.join(","), "User,100,81,Source,200,84,Host,300,84,Time,200,84");
    EXPECT_EQ(alarms.Model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Message");
    EXPECT_EQ(alarms.Model()->data(alarms.Model()->index(0, 0), Qt::DisplayRole), QVariant());
}

TEST_F(RecordPagesTest, HeaderClicksAlternateOnOneColumnAndRestartOnAnother) {
    Run("insert into history (user, ip, url, time) values ('bob', 1, 'u', 3),"
        " ('alice', 2, 'v', 1), ('carol', 3, 'w', 2)");
    CLogDlg page(nullptr, Db());
    page.resize(800, 300);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    EXPECT_EQ(Column(page, 0), "bob,carol,alice");  // newest first
    ClickHeader(page, 0);
    EXPECT_EQ(Column(page, 0), "alice,bob,carol");
    ClickHeader(page, 0);
    EXPECT_EQ(Column(page, 0), "carol,bob,alice");
    ClickHeader(page, 0);
    EXPECT_EQ(Column(page, 0), "alice,bob,carol");
    ClickHeader(page, 3);  // another column: ascending
    EXPECT_EQ(Column(page, 0), "alice,carol,bob");
    ClickHeader(page, 0);
    EXPECT_EQ(Column(page, 0), "alice,bob,carol");
    // The alarm page keeps its own state: its first click sorts ascending.
    Run("insert into alarms values ('s', 'm', 2), ('s', 'm', 1)");
    CAlarmDlg alarms(nullptr, Db());
    alarms.Model()->sort(0);
    EXPECT_EQ(Column(alarms, 0), "1970-1-1 0:0:1,1970-1-1 0:0:2");
}

TEST_F(RecordPagesTest, AutoRefreshRestartsItsPeriodAndRestoresNewestFirst) {
    Run("insert into alarms values ('a', 'm', 1), ('b', 'm', 2)");
    CAlarmDlg page(nullptr, Db());
    QAction* button = page.AutoRefreshAction();
    QTimer& timer = page.RefreshTimer();
    EXPECT_FALSE(timer.isActive());
    button->trigger();
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(page.TimerId(), CRecordPage::kTimerId);
    EXPECT_EQ(timer.interval(), 10000);
    QTest::qWait(1000);
    button->trigger();
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(page.TimerId(), 0);
    button->trigger();
    // A fresh period, not the rest of the old one (at most 9 s); room for a busy machine.
    EXPECT_GT(timer.remainingTime(), 9500);

    page.Model()->sort(1);
    EXPECT_EQ(Column(page, 1), "a,b");
    Run("insert into alarms values ('c', 'm', 3)");
    timer.setInterval(20);
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(page.Model()->rowCount(), 3, 5000);
    EXPECT_EQ(Column(page, 1), "c,b,a");
}

TEST_F(RecordPagesTest, FilterBoxFiltersRowsInMemoryAndStaysAcrossFills) {
    Run("insert into history (user, ip, url, time) values ('alice', 1, 'http://Example.com/', 1),"
        " ('bob', 2, 'http://other/', 2), ('carol', 3, 'example.org:443', 3)");
    CLogDlg page(nullptr, Db());
    QTest::keyClicks(page.FilterBox(), "EXAMPLE");
    QTRY_COMPARE_WITH_TIMEOUT(page.Model()->rowCount(), 2, 2000);
    EXPECT_EQ(Column(page, 0), "carol,alice");
    Run("insert into history (user, ip, url, time) values ('dave', 4, 'www.example.net', 4)");
    page.Fill();
    EXPECT_EQ(Column(page, 0), "dave,carol,alice");
    page.FilterBox()->clear();  // the clear button
    EXPECT_EQ(page.Model()->rowCount(), 4);
}

TEST_F(RecordPagesTest, ExportWritesShownRowsAsCsvAndReportsRefusals) {
    Run("insert into alarms values ('引擎', '端口 \"8080\", 已占用', 2), ('x', 'line\nbreak', 1)");
    CAlarmDlg page(nullptr, Db());
    page.FilterBox()->setText("引擎");
    page.ApplyFilter();
    const std::string path = dir_.file("alarms.csv");
    page.SetExportPathChooser([&path](QWidget*) { return QString::fromStdString(path); });
    page.ExportAction()->trigger();
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "Time,Source,Message\r\n1970-1-1 0:0:2,引擎,\"端口 \"\"8080\"\", 已占用\"\r\n");
    EXPECT_TRUE(sink_.Shown().isEmpty());

    page.SetExportPathChooser([](QWidget*) { return QString(); });  // cancelled
    page.ExportAction()->trigger();
    EXPECT_TRUE(sink_.Shown().isEmpty());

    std::filesystem::create_directory(dir_.file("shared"));
    std::filesystem::permissions(dir_.file("shared"), std::filesystem::perms::all);
    EXPECT_FALSE(page.ExportTo(QString::fromStdString(dir_.file("shared/a.csv"))));
    ASSERT_EQ(sink_.Shown().size(), 1);
    EXPECT_TRUE(sink_.Shown()[0].startsWith("Export failed: other accounts may write"));
    EXPECT_TRUE(sink_.Shown()[0].contains("|TorvoProxy tip|1|1"));
}

}  // namespace
