// The monitoring page and its three lists against the scripted control channel.
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include "tests/support/ViewChecks.h"
#include "tests/ui/pages/PageTestEnv.h"
#include "ui/pages/tabs/CMonitoringDlg.h"
#include "ui/pages/tabs/CMonitoringSubPages.h"

namespace {

constexpr char kThreeFlows[] = R"({"err_code":0,"data":[
  {"ip":"10.0.0.9","user":"carol","current_connections":12,"total_bytes":"9 KB","bytes_persecond":"30"},
  {"ip":"10.0.0.10","user":"alice","current_connections":-1,"total_bytes":1024,"bytes_persecond":"7"},
  {"ip":"10.0.0.2","current_connections":3,"total_bytes":"512","bytes_persecond":"100"}]})";
using Texts = QStringList;
using test::ColumnTexts;
using test::RowTexts;

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
        page_ = std::make_unique<CMonitoringDlg>(nullptr);
        rt_ = page_->Realtime();
        Settle();
    }
    Texts Connections() { return ColumnTexts(rt_->Model(), 2); }

    std::unique_ptr<CMonitoringDlg> page_;
    CMonitoringRealtimeDlg* rt_ = nullptr;
};

TEST_F(MonitoringPagesTest, CreationFillsEveryListInReplyOrderPollsNotOnTabsAndFailuresEmpty) {
    EXPECT_EQ(Sent(), "flowrealtime\r\nflowip\r\nflowuser\r\n");
    const auto& realtime = rt_->Model();
    ASSERT_EQ(realtime.rowCount(), 3);
    EXPECT_EQ(RowTexts(realtime, 0), (Texts{"10.0.0.9", "carol", "12", "9 KB", "30"}));
    EXPECT_EQ(RowTexts(realtime, 1), (Texts{"10.0.0.10", "alice", "4294967295", "1024", "7"}));
    EXPECT_EQ(RowTexts(realtime, 2), (Texts{"10.0.0.2", "", "3", "512", "100"}));
    const auto& device = page_->Device()->Model();
    EXPECT_EQ(ColumnTexts(device, 0), (Texts{"10.0.0.2", "10.0.0.9"}));
    EXPECT_EQ(RowTexts(device, 0), (Texts{"10.0.0.2", "512", "2026-12-6 9:0:1"}));
    EXPECT_EQ(RowTexts(page_->User()->Model(), 0), (Texts{"bob", "77 MB", "t1"}));
    for (const QTimer* t :
         {&rt_->RefreshTimer(), &page_->Device()->RefreshTimer(), &page_->User()->RefreshTimer()})
        EXPECT_TRUE(t->isActive() && t->interval() == 10000);
    page_->ShowPage(1);
    EXPECT_EQ(Sent(), "");
    // A refresh empties the list before each command; it stays empty on a failure.
    std::vector<int> rowsAtReset;  // never old rows beside new ones
    QObject::connect(&rt_->Model(), &QAbstractItemModel::modelReset,
                     [&] { rowsAtReset.push_back(rt_->Model().rowCount()); });
    rt_->Refresh();
    Settle();
    EXPECT_EQ(rowsAtReset, (std::vector<int>{0, 3}));
    // (Which replies are unreadable: the reply readers' own cases.)
    for (const auto& [running, reply] :
         {std::pair{false, kThreeFlows}, {true, R"({"err_code":3,"data":[{"ip":"1"}]})"}}) {
        SetServerRunning(true);
        Server().SetFramedReply("flowrealtime", kThreeFlows);
        rt_->Refresh();
        Settle();
        ASSERT_EQ(rt_->Model().rowCount(), 3);
        SetServerRunning(running);
        Server().SetFramedReply("flowrealtime", reply);
        rt_->Refresh();
        Settle();
        EXPECT_EQ(rt_->Model().rowCount(), 0) << reply;
    }
    EXPECT_TRUE(sink_.Shown().empty());
}

TEST_F(MonitoringPagesTest, HeaderClickSortsByTheColumnUntilTheNextRefreshTextsAsText) {
    page_->resize(900, 400);
    page_->show();
    auto* header = rt_->List()->horizontalHeader();
    for (int click = 0; click < 2; ++click) {  // a second click sorts ascending again
        emit header->sectionClicked(2);
        EXPECT_EQ(Connections(), (Texts{"4294967295", "3", "12"}));  // by signed value
    }
    rt_->Refresh();
    Settle();
    EXPECT_EQ(Connections(), (Texts{"12", "4294967295", "3"}));
    header->moveSection(2, 0);  // a moved column is still the one clicked
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(Connections(), (Texts{"4294967295", "3", "12"}));
    // The other columns sort as text, traffic and times too.
    const std::tuple<RecordListModelBase*, int, int, Texts> cases[] = {
        {&rt_->Model(), 0, 0, {"10.0.0.10", "10.0.0.2", "10.0.0.9"}},
        {&page_->Device()->Model(), 1, 1, {"1024", "512"}},  // traffic as text
        {&page_->Device()->Model(), 2, 0, {"10.0.0.9", "10.0.0.2"}}};
    for (const auto& [model, sortBy, shown, expected] : cases) {
        model->sort(sortBy);
        EXPECT_EQ(ColumnTexts(*model, shown), expected) << sortBy;
    }
}

}  // namespace
