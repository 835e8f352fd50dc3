// The monitoring page and its three lists against the scripted control channel.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include "tests/pages/PageTestEnv.h"
#include "ui/pages/CMonitoringDlg.h"
#include "ui/pages/CMonitoringSubPages.h"
#include "ui/res/Strings.h"

namespace {

using Reply = ScriptedChannelServer::Reply;

constexpr char kThreeFlows[] = R"({"err_code":0,"data":[
  {"ip":"10.0.0.9","user":"carol","current_connections":12,"total_bytes":"9 KB","bytes_persecond":"30"},
  {"ip":"10.0.0.10","user":"alice","current_connections":-1,"total_bytes":1024,"bytes_persecond":"7"},
  {"ip":"10.0.0.2","current_connections":3,"total_bytes":"512","bytes_persecond":"100"}]})";

template <typename Model>
std::vector<QString> Column(const Model& model, int column) {
    std::vector<QString> texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts.push_back(model.data(model.index(row, column), Qt::DisplayRole).toString());
    }
    return texts;
}

template <typename Model>
std::vector<QString> Row(const Model& model, int row) {
    std::vector<QString> texts;
    for (int column = 0; column < model.columnCount(); ++column) {
        texts.push_back(model.data(model.index(row, column), Qt::DisplayRole).toString());
    }
    return texts;
}

class MonitoringPagesTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        Server().SetFramedReply("flowrealtime", kThreeFlows);
        Server().SetFramedReply("flowip", R"({"err_code":0,"data":[
          {"ip":"10.0.0.2","total_bytes":"512","last_report_time":"2026-12-6 9:0:1"},
          {"ip":"10.0.0.9","total_bytes":"1024"}]})");
        Server().SetFramedReply("flowuser", R"({"data":[
          {"user":"bob","total_bytes":"77 MB","last_report_time":"t1"}]})");
    }
};

TEST_F(MonitoringPagesTest, CreationFillsEveryListInReplyOrder) {
    CMonitoringDlg page(nullptr);

    EXPECT_EQ(NewRequests(), (std::vector<std::string>{"flowrealtime", "flowip", "flowuser"}));
    const auto& realtime = page.Realtime()->Model();
    ASSERT_EQ(realtime.rowCount(), 3);
    EXPECT_EQ(Row(realtime, 0), (std::vector<QString>{"10.0.0.9", "carol", "12", "9 KB", "30"}));
    // -1 connections shows unsigned; a numeric total shows its decimal text; a missing user
    // shows empty.
    EXPECT_EQ(Row(realtime, 1),
              (std::vector<QString>{"10.0.0.10", "alice", "4294967295", "1024", "7"}));
    EXPECT_EQ(Row(realtime, 2), (std::vector<QString>{"10.0.0.2", "", "3", "512", "100"}));

    const auto& device = page.Device()->Model();
    ASSERT_EQ(device.rowCount(), 2);
    EXPECT_EQ(Row(device, 0), (std::vector<QString>{"10.0.0.2", "512", "2026-12-6 9:0:1"}));
    EXPECT_EQ(Row(device, 1), (std::vector<QString>{"10.0.0.9", "1024", ""}));

    const auto& user = page.User()->Model();
    ASSERT_EQ(user.rowCount(), 1);
    EXPECT_EQ(Row(user, 0), (std::vector<QString>{"bob", "77 MB", "t1"}));
}

TEST_F(MonitoringPagesTest, EachListPollsEveryTenSeconds) {
    CMonitoringDlg page(nullptr);
    for (const QTimer* timer : {&page.Realtime()->RefreshTimer(), &page.Device()->RefreshTimer(),
                                &page.User()->RefreshTimer()}) {
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 10000);
    }
}

TEST_F(MonitoringPagesTest, ColumnsCarryTheirTitlesWidthsAndAlignment) {
    CMonitoringDlg page(nullptr);
    const auto& realtime = page.Realtime()->Model();
    const std::vector<QString> titles = {"Ip", "User name", "Current connections", "Current flow",
                                         "Current speed"};
    const std::vector<int> widths = {100, 150, 150, 150, 150};
    ASSERT_EQ(realtime.columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(realtime.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                  titles[column]);
        EXPECT_EQ(page.Realtime()->List()->columnWidth(column), widths[column]);
        const int alignment =
            realtime.data(realtime.index(0, column), Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask,
                  column == 0 ? Qt::AlignLeft : Qt::AlignHCenter);
    }
    EXPECT_EQ(page.Device()->List()->columnWidth(2), 300);
    EXPECT_EQ(page.User()->Model().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              "User name");
}

struct ListFailure {
    const char* name;
    bool serverRunning;
    std::string body;  // framed reply to "flowrealtime"
};

class MonitoringFailureTest : public MonitoringPagesTest,
                              public ::testing::WithParamInterface<ListFailure> {};

TEST_P(MonitoringFailureTest, EmptiesTheListAndSaysNothing) {
    CMonitoringDlg page(nullptr);
    ASSERT_EQ(page.Realtime()->Model().rowCount(), 3);

    SetServerRunning(GetParam().serverRunning);
    Server().SetFramedReply("flowrealtime", GetParam().body);
    page.Realtime()->Refresh();

    EXPECT_EQ(page.Realtime()->Model().rowCount(), 0);
    EXPECT_TRUE(sink_.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MonitoringFailureTest,
    ::testing::Values(ListFailure{"ServiceNotRunning", false, kThreeFlows},
                      ListFailure{"NotJson", true, "{\"err_code\":0,\"data\":["},
                      ListFailure{"ErrCode", true, R"({"err_code":3,"data":[{"ip":"1"}]})"},
                      ListFailure{"DataObject", true, R"({"err_code":0,"data":{"ip":"1"}})"},
                      ListFailure{"EmptyArray", true, R"({"err_code":0,"data":[]})"},
                      ListFailure{"ElementNotObject", true, R"({"err_code":0,"data":[1,2]})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitoringPagesTest, ListIsEmptiedBeforeTheCommandIsSent) {
    CMonitoringDlg page(nullptr);
    std::vector<int> rowsAtEachReset;
    QObject::connect(&page.Realtime()->Model(), &QAbstractItemModel::modelReset,
                     [&] { rowsAtEachReset.push_back(page.Realtime()->Model().rowCount()); });
    page.Realtime()->Refresh();
    // First emptied, then filled from the reply; never the old rows beside the new.
    EXPECT_EQ(rowsAtEachReset, (std::vector<int>{0, 3}));
}

TEST_F(MonitoringPagesTest, HeaderClickSortsNumericColumnBySignedValue) {
    CMonitoringDlg page(nullptr);
    auto* list = page.Realtime()->List();
    emit list->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(Column(page.Realtime()->Model(), 2), (std::vector<QString>{"4294967295", "3", "12"}));
    // Clicking again sorts ascending again.
    emit list->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(Column(page.Realtime()->Model(), 2), (std::vector<QString>{"4294967295", "3", "12"}));
    // The next refresh brings back the reply's order.
    page.Realtime()->Refresh();
    EXPECT_EQ(Column(page.Realtime()->Model(), 2), (std::vector<QString>{"12", "4294967295", "3"}));
}

TEST_F(MonitoringPagesTest, TextColumnsSortAsText) {
    CMonitoringDlg page(nullptr);
    page.Realtime()->Model().SortByColumn(0);
    EXPECT_EQ(Column(page.Realtime()->Model(), 0),
              (std::vector<QString>{"10.0.0.10", "10.0.0.2", "10.0.0.9"}));
    page.Realtime()->Model().SortByColumn(1);
    EXPECT_EQ(Column(page.Realtime()->Model(), 1), (std::vector<QString>{"", "alice", "carol"}));
    // Traffic sorts as text: "1024" before "512".
    page.Device()->Model().SortByColumn(1);
    EXPECT_EQ(Column(page.Device()->Model(), 1), (std::vector<QString>{"1024", "512"}));
    page.Device()->Model().SortByColumn(2);
    EXPECT_EQ(Column(page.Device()->Model(), 0), (std::vector<QString>{"10.0.0.9", "10.0.0.2"}));
}

TEST_F(MonitoringPagesTest, SortKeepsTheReplyOrderOfEqualKeys) {
    Server().SetFramedReply("flowuser", R"({"data":[
      {"user":"u1","total_bytes":"5"},{"user":"u2","total_bytes":"1"},
      {"user":"u3","total_bytes":"5"},{"user":"u4","total_bytes":"1"},
      {"user":"u5","total_bytes":"5"}]})");
    CMonitoringDlg page(nullptr);
    page.User()->Model().SortByColumn(1);
    EXPECT_EQ(Column(page.User()->Model(), 0),
              (std::vector<QString>{"u2", "u4", "u1", "u3", "u5"}));
}

TEST_F(MonitoringPagesTest, HeaderClickOnAMovedColumnSortsThatColumn) {
    CMonitoringDlg page(nullptr);
    page.resize(900, 400);
    page.show();
    auto* header = page.Realtime()->List()->horizontalHeader();
    header->moveSection(2, 0);  // "Current connections" dragged to the front
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(Column(page.Realtime()->Model(), 2), (std::vector<QString>{"4294967295", "3", "12"}));
}

TEST_F(MonitoringPagesTest, TabsOnTheLeftSwitchPagesWithoutPolling) {
    CMonitoringDlg page(nullptr);
    page.resize(900, 400);
    page.show();
    QTabWidget* tabs = page.Tabs();
    EXPECT_EQ(tabs->tabPosition(), QTabWidget::West);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Realtime");
    EXPECT_EQ(tabs->tabText(1), "Statistics by device");
    EXPECT_EQ(tabs->tabText(2), "Statistics by user");
    EXPECT_TRUE(page.Realtime()->isVisible());

    const size_t before = NewRequests().size();
    page.ShowPage(1);
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(page.Device()->focusProxy(), page.Device()->List());
    EXPECT_TRUE(page.Device()->isVisible());
    EXPECT_FALSE(page.Realtime()->isVisible());
    tabs->setCurrentIndex(2);
    EXPECT_TRUE(page.User()->isVisible());
    EXPECT_EQ(NewRequests().size(), before);
    // The shown sub-page lies to the right of the tab strip and fills the rest.
    EXPECT_GT(page.User()->mapTo(&page, QPoint(0, 0)).x(), tabs->tabBar()->width() - 1);
}

TEST_F(MonitoringPagesTest, ChineseTexts) {
    res::SetUiLanguage(res::UiLanguage::Chinese);
    CMonitoringDlg page(nullptr);
    res::SetUiLanguage(res::UiLanguage::English);
    EXPECT_EQ(page.Tabs()->tabText(0), QString::fromUtf8("实时"));
    EXPECT_EQ(page.Tabs()->tabText(1), QString::fromUtf8("按设备统计"));
    EXPECT_EQ(page.Tabs()->tabText(2), QString::fromUtf8("按用户统计"));
}

}  // namespace
