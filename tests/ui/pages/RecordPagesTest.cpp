// The alarm and access-history pages on a real main.db.
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "tests/support/TestDb.h"
#include "tests/support/ViewChecks.h"
#include "tests/ui/pages/PageTestEnv.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/tabs/CAlarmAndLogPages.h"

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
    static QString Column(const CRecordPage& page, int column) {
        return test::ColumnTexts(*page.Model(), column).join(",");
    }
    static bool ShownWide(CRecordPage& page) {
        page.resize(800, 300);
        page.show();
        return QTest::qWaitForWindowExposed(&page);
    }

    test::TempDir dir_;
    test::ScopedTimeZone utc_{"UTC"};
    CapturingSink sink_;
};

// The typed filter applies after a pause and is kept; Refresh leaves auto-refresh off; the clear
// button shows every row again.
TEST_F(RecordPagesTest, AutoRefreshRefreshAndF5RefillNewestFirstKeepingTheFilter) {
    Run("insert into alarms values ('a', 'm', 1), ('b', 'x', 2)");
    CAlarmDlg page(nullptr, Db());
    ASSERT_TRUE(ShownWide(page));
    QTimer& timer = page.RefreshTimer();
    page.AutoRefreshAction()->trigger();  // off again below
    EXPECT_TRUE(page.AutoRefreshAction()->isChecked() && timer.isActive());
    QTest::keyClicks(page.FilterBox(), "M");
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.Model()->rowCount() == 1; }));
    page.Model()->sort(1);
    Run("insert into alarms values ('c', 'm', 3), ('d', 'x', 4)");
    timer.setInterval(20);  // the next period ends soon
    EXPECT_TRUE(QTest::qWaitFor([&] { return Column(page, 1) == "c,a"; }))
        << Column(page, 1).toStdString();
    page.AutoRefreshAction()->trigger();
    Run("insert into alarms values ('e', 'm', 5)");
    page.Model()->sort(1);
    page.RefreshAction()->trigger();
    EXPECT_EQ(Column(page, 1), "e,c,a");
    EXPECT_FALSE(page.AutoRefresh() || timer.isActive());
    Run("insert into alarms values ('f', 'm', 6)");
    page.List()->setFocus();
    QTest::keyClick(page.List(), Qt::Key_F5);
    EXPECT_EQ(Column(page, 1), "f,e,c,a");
    page.FilterBox()->clear();  // the clear button
    EXPECT_EQ(page.Model()->rowCount(), 6);
}

// Keeping the filter and the order the user sorted; shown with nothing new it does not refill.
TEST_F(RecordPagesTest, APageShownAgainReadsTheRowsAddedWhileItWasHidden) {
    Run("insert into alarms values ('b', 'm', 1), ('a', 'm', 2), ('z', 'x', 3)");
    Run("insert into history (user, ip, url, time) values ('amy', 1, 'u1', 1)");
    CAlarmDlg alarms(nullptr, Db());
    CLogDlg history(nullptr, Db());
    ASSERT_TRUE(ShownWide(alarms) && ShownWide(history));
    QTest::keyClicks(alarms.FilterBox(), "m");
    alarms.ApplyFilter();
    alarms.Model()->sort(1);
    alarms.Model()->sort(1);  // descending
    EXPECT_EQ(Column(alarms, 1), "b,a");
    const std::initializer_list<CRecordPage*> pages{&alarms, &history};
    for (CRecordPage* page : pages) page->hide();
    Run("insert into alarms values ('c', 'm', 4), ('y', 'x', 5)");
    Run("insert into history (user, ip, url, time) values ('bob', 2, 'u2', 2)");
    for (CRecordPage* page : pages) page->show();
    EXPECT_EQ(Column(alarms, 1), "c,b,a");
    EXPECT_EQ(Column(history, 0), "bob,amy");
    Run("update alarms set source='q' where source='c'");  // no new row: no refill
    alarms.hide();
    alarms.show();
    EXPECT_EQ(Column(alarms, 1), "c,b,a");
}

TEST_F(RecordPagesTest, ExportProposesADatedFileAddsCsvAndSaysWhereItWrote) {
    Run("insert into alarms values ('引擎', '端口 \"8080\", 已占用', 2), ('x', 'line\nbreak', 1)");
    CAlarmDlg page(nullptr, Db());
    page.FilterBox()->setText("引擎");
    page.ApplyFilter();
    // No ~/Documents: the home folder; with one, there.
    const test::ScopedEnv home("HOME", dir_.path()), config("XDG_CONFIG_HOME", dir_.file("cfg"));
    // Named by the local date and minute; zones 45 minutes apart, so a minute that happens to
    // equal the month's number cannot hide the one in the other's place.
    for (const char* zone : {"UTC", "Asia/Kathmandu"}) {
        const test::ScopedTimeZone local(zone);
        const auto named = [](const QDateTime& time) {
            return "/alarms-" + time.toString("yyyyMMdd-HHmm") + ".csv";
        };
        const QDateTime before = QDateTime::currentDateTime();
        const QString path = page.ProposedExportPath();
        EXPECT_TRUE(path.endsWith(named(before)) ||
                    path.endsWith(named(QDateTime::currentDateTime())))
            << zone << ": " << path.toStdString();
    }
    EXPECT_EQ(QFileInfo(page.ProposedExportPath()).path(), QString::fromStdString(dir_.path()));
    std::filesystem::create_directory(dir_.file("Documents"));
    EXPECT_EQ(QFileInfo(page.ProposedExportPath()).path(),
              QString::fromStdString(dir_.file("Documents")));

    QString proposed;
    page.SetExportPathChooser([&](QWidget*, const QString& offered) {
        proposed = offered;
        return QString::fromStdString(dir_.file("alarms"));  // typed without a suffix
    });
    page.ExportAction()->trigger();
    EXPECT_EQ(proposed, page.ProposedExportPath());
    EXPECT_EQ(test::ReadText(dir_.file("alarms.csv")),
              "Time,Source,Message\r\n1970-1-1 0:0:2,引擎,\"端口 \"\"8080\"\", 已占用\"\r\n");
    EXPECT_EQ(sink_.Shown(),
              QStringList{Told("Exported to " + QString::fromStdString(dir_.file("alarms.csv")))});

    page.SetExportPathChooser([](QWidget*, const QString&) { return QString(); });  // cancelled
    page.ExportAction()->trigger();
    EXPECT_EQ(sink_.Shown().size(), 1);

    std::filesystem::create_directory(dir_.file("shared"));  // others may write there, as in /tmp
    std::filesystem::permissions(dir_.file("shared"),
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    EXPECT_FALSE(page.ExportTo(QString::fromStdString(dir_.file("shared/a.csv"))));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("shared/a.csv")));
    ASSERT_EQ(sink_.Shown().size(), 2);
    EXPECT_TRUE(sink_.Shown()[1].startsWith("Export failed: other accounts may write"));
    EXPECT_TRUE(sink_.Shown()[1].contains("|TorvoProxy tip|1|1"));
}

// Clicks alternate on one column and start ascending on another; one row is selected at a time;
// Ctrl+C and "Copy" copy it as the columns are shown.
TEST_F(RecordPagesTest, HeaderClicksSortKeepingTheSelectedRowAndCopyGivesItTabSeparated) {
    Run("insert into history (user, ip, url, time) values ('bob', 1, 'u\tv', 3),"
        " ('alice', 2, 'v', 1), ('carol', 3, 'w', 2)");
    CLogDlg page(nullptr, Db());
    ASSERT_TRUE(ShownWide(page));
    EXPECT_EQ(Column(page, 0), "bob,carol,alice");  // newest first
    RecordListView* list = page.List();
    list->selectRow(0);  // bob
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualRect(page.Model()->index(2, 0)).center());  // alice instead
    for (const auto& [column, order] : {std::pair{0, "alice,bob,carol"},
                                        {0, "carol,bob,alice"},
                                        {0, "alice,bob,carol"},
                                        {3, "alice,carol,bob"},
                                        {0, "alice,bob,carol"}}) {
        QHeaderView* header = list->horizontalHeader();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        EXPECT_EQ(Column(page, 0), order) << column;
    }
    for (int row = 0; row < 3; ++row)  // alice alone
        EXPECT_EQ(list->selectionModel()->isRowSelected(row), row == 0) << row;
    EXPECT_EQ(list->currentIndex().data().toString(), "alice");

    list->horizontalHeader()->moveSection(3, 0);  // the time column dragged to the front
    QApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "1970-1-1 0:0:1\talice\t0.0.0.2\tv");
    QApplication::clipboard()->clear();
    list->selectRow(1);  // bob, whose URL holds a tab
    ASSERT_TRUE(list->actions().contains(list->CopyAction()));
    list->CopyAction()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "1970-1-1 0:0:3\tbob\t0.0.0.1\tu v");
    // The alarm page keeps a sort state of its own: its first sort is ascending.
    Run("insert into alarms values ('s', 'm', 2), ('s', 'm', 1)");
    CAlarmDlg alarms(nullptr, Db());
    alarms.Model()->sort(0);
    EXPECT_EQ(Column(alarms, 0), "1970-1-1 0:0:1,1970-1-1 0:0:2");
}

}  // namespace
