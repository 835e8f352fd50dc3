// The live connections sub-page and its cuts against the scripted control channel and main.db.
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "Common/DateTime.h"
#include "tests/support/ViewChecks.h"
#include "tests/ui/pages/SettingsTestEnv.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/models/ConnectionRows.h"
#include "ui/pages/tabs/CMonitoringConnectionsDlg.h"
#include "ui/pages/tabs/CMonitoringDlg.h"

namespace {

using Texts = QStringList;
using Page = CMonitoringConnectionsDlg;
using test::ColumnTexts;

// The fastest first, as the server lists them; 8 is anonymous.
constexpr char kThree[] = R"({"err_code":0,"total":1234,"data":[
  {"id":7,"ip":"10.0.0.9","user":"alice","protocol":"connect","destination":"example.com:443",
   "since":1765000000,"bytes_up":900,"bytes_down":5000,"rate":3000},
  {"id":8,"ip":"10.0.0.10","user":"","protocol":"http","destination":"ALICE.example:80",
   "since":1765000100,"bytes_up":10000,"bytes_down":10,"rate":200},
  {"id":9,"ip":"10.0.0.9","user":"bob","protocol":"socks5","destination":"10.1.1.1:22",
   "since":1765000200,"bytes_up":20,"bytes_down":0,"rate":0}]})";

class ConnectionsPageTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        Server().SetFramedReply("connections", kThree);
        Sql("insert into accounts values ('alice', '7', '2025-10-1 8:0:0')");
        UserConf::instance().load();
    }
    std::unique_ptr<Page> ShownPage() {
        auto page = std::make_unique<Page>(nullptr);
        page->resize(1000, 300);
        page->show();
        Settle();
        return page;
    }
    static Texts Ids(const Page& page, bool selectedOnly = false) {
        Texts ids;
        for (int r = 0; r < page.Model().rowCount(); ++r)
            if (!selectedOnly || page.List()->selectionModel()->isRowSelected(r))
                ids << QString::number(page.Model().Rows()[r].id);
        return ids;
    }
    static void SelectIds(Page& page, const Texts& ids) {
        page.List()->clearSelection();
        for (int r = 0; r < page.Model().rowCount(); ++r)
            if (ids.contains(QString::number(page.Model().Rows()[r].id)))
                page.List()->selectionModel()->select(
                    page.Model().index(r, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(ConnectionsPageTest, RowsSortFilterAndKeepTheirSelectionAcrossRefreshes) {
    auto page = ShownPage();
    EXPECT_EQ(Ids(*page), (Texts{"7", "8", "9"}));
    EXPECT_EQ(test::RowTexts(page->Model(), 1),
              (Texts{"(anonymous)", "10.0.0.10", "http", "ALICE.example:80",
                     QString::fromStdString(DateTime::FromUnixTime(1765000100).ToString()),
                     "9.77 KB", "10 B", "200 B/s"}));
    EXPECT_EQ(page->CountLabel()->text(), "Connections: 3 of 1 234");
    // Numbers sort as numbers ("9.77 KB" is the largest); a second click reverses; the order
    // outlives a refresh.
    auto* header = page->List()->horizontalHeader();
    emit header->sectionClicked(5);
    EXPECT_EQ(Ids(*page), (Texts{"9", "7", "8"}));
    emit header->sectionClicked(5);
    EXPECT_EQ(Ids(*page), (Texts{"8", "7", "9"}));
    page->Refresh();
    Settle();
    EXPECT_EQ(Ids(*page), (Texts{"8", "7", "9"}));
    emit header->sectionClicked(4);  // since, oldest first
    EXPECT_EQ(Ids(*page), (Texts{"7", "8", "9"}));

    // The filter matches user, address and destination, letters in any case.
    for (const auto& [filter, ids] : {std::pair{"ALI", Texts{"7", "8"}},
                                      {"0.0.9", {"7", "9"}},
                                      {"1.1.1:22", {"9"}},
                                      {"socks5", {}},
                                      {"", {"7", "8", "9"}}}) {
        page->FilterBox()->setText(filter);
        EXPECT_EQ(Ids(*page), ids) << filter;
    }

    // The selection follows its connections when they move and drops the ones that left.
    SelectIds(*page, {"7", "9"});
    Server().SetFramedReply("connections", R"({"total":2,"data":[
      {"id":9,"ip":"10.0.0.9","user":"bob","since":1765000200},
      {"id":5,"ip":"10.0.0.3","user":"carol","since":1},
      {"id":7,"ip":"10.0.0.9","user":"alice","since":1765000000}]})");
    page->Refresh();
    Settle();
    EXPECT_EQ(Ids(*page), (Texts{"5", "7", "9"}));
    EXPECT_EQ(Ids(*page, true), (Texts{"7", "9"}));
    EXPECT_EQ(page->CountLabel()->text(), "Connections: 3");
    // A stopped server or an unreadable reply: nothing listed, no count.
    for (bool running : {false, true}) {
        SetServerRunning(running);
        Server().SetFramedReply("connections", running ? R"({"err_code":1})" : kThree);
        page->Refresh();
        Settle();
        EXPECT_EQ(page->Model().rowCount(), 0) << running;
        EXPECT_EQ(page->CountLabel()->text(), "") << running;
    }
}

TEST_F(ConnectionsPageTest, AsksOnlyWhileShownEveryTwoSeconds) {
    CMonitoringDlg monitoring(nullptr);
    monitoring.resize(1000, 400);
    monitoring.show();
    Settle();
    const Page* page = monitoring.Connections();
    EXPECT_EQ(Sent().find("connections"), std::string::npos);
    monitoring.ShowPage(3);
    Settle();
    EXPECT_EQ(Sent(), "connections\r\n");
    EXPECT_TRUE(page->RefreshTimer().isActive());
    EXPECT_EQ(page->RefreshTimer().interval(), 2000);
    Sent();
    monitoring.ShowPage(0);  // the window hidden hides the page the same way
    QTest::qWait(2300);
    Settle();
    EXPECT_EQ(Sent(), "");
}

// A command on the selected rows: the question, what reaches the server, what the page says.
struct CutCase {
    const char* name;
    Page::Command command;
    Texts selected;  // ids
    bool yes;
    const char* question;  // "": none asked
    const char* sent;      // the disconnect lines (a refresh follows each answered cut)
    const char* status;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.name;
}

class ConnectionCutTest : public ConnectionsPageTest,
                          public ::testing::WithParamInterface<CutCase> {};

TEST_P(ConnectionCutTest, AsksThenSendsExactlyWhatItNames) {
    const CutCase& c = GetParam();
    Server().SetFramedReply("disconnect id 7", R"({"err_code":0,"closed":1})");
    Server().SetFramedReply("disconnect id 9", R"({"err_code":0,"closed":0})");
    Server().SetFramedReply("disconnect user alice", R"({"err_code":0,"closed":4})");
    Server().SetFramedReply("disconnect ip 10.0.0.9", R"({"err_code":0,"closed":2})");
    Server().SetFramedReply("disconnect ip 10.0.0.10", R"({"err_code":5,"err_msg":"no"})");
    auto page = ShownPage();
    Sent();
    sink_.answer = c.yes;
    SelectIds(*page, c.selected);
    const QStringList before = sink_.Shown();
    if (c.command == Page::kDisconnect && c.selected.size() == 1) {
        QTest::keyClick(page->List(), Qt::Key_Delete);  // the key does what the menu does
    } else {
        page->Action(c.command)->trigger();
    }
    Settle();
    const QStringList asked = sink_.Shown().mid(before.size());
    EXPECT_EQ(asked, *c.question ? Texts{Told(c.question, MessageIcon::Question)} : Texts{});
    EXPECT_EQ(Sent(), std::string(c.sent) + (*c.sent ? "connections\r\n" : ""));
    EXPECT_EQ(page->StatusLabel()->text(), c.status);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ConnectionCutTest, ::testing::ValuesIn(std::vector<CutCase>{
    {"OneRow", Page::kDisconnect, {"7"}, true,
     "Disconnect the connection from 10.0.0.9 to example.com:443?", "disconnect id 7\r\n",
     "Connections closed: 1"},
    {"TwoRowsOneGoneMeanwhile", Page::kDisconnect, {"7", "9"}, true,
     "Disconnect the 2 selected connections?", "disconnect id 7\r\ndisconnect id 9\r\n",
     "Connections closed: 1"},
    {"Declined", Page::kDisconnect, {"7"}, false,
     "Disconnect the connection from 10.0.0.9 to example.com:443?", "", ""},
    {"NothingSelected", Page::kDisconnect, {}, true, "", "", ""},
    {"User", Page::kDisconnectUser, {"7"}, true, "Disconnect the connection of alice?",
     "disconnect user alice\r\n", "Connections closed: 4"},
    {"AnonymousHasNoUser", Page::kDisconnectUser, {"8"}, true, "", "", ""},
    {"Address", Page::kDisconnectAddress, {"9"}, true,
     "Disconnect the 2 connections from 10.0.0.9?", "disconnect ip 10.0.0.9\r\n",
     "Connections closed: 2"},
    {"Refused", Page::kDisconnectAddress, {"8"}, true, "Disconnect the connection from 10.0.0.10?",
     "disconnect ip 10.0.0.10\r\n", "The server did not disconnect: it is stopped or refused."}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConnectionsPageTest, DisablingAnAccountStoresItAppliesAndThenCutsItsUser) {
    Server().SetFramedReply("disconnect user alice", R"({"err_code":0,"closed":1})");
    auto page = ShownPage();
    Sent();
    // Anonymous rows offer no user commands.
    SelectIds(*page, {"8"});
    EXPECT_FALSE(page->Action(Page::kDisableAccount)->isEnabled());
    EXPECT_FALSE(page->Action(Page::kDisconnectUser)->isEnabled());
    EXPECT_TRUE(page->Action(Page::kDisconnectAddress)->isEnabled());
    SelectIds(*page, {"7"});
    page->Action(Page::kDisableAccount)->trigger();
    Settle();  // the refresh that follows the cut
    EXPECT_EQ(Rows("select account, enabled from account_limits"), Lines{"1|0"});
    EXPECT_EQ(Sent(), "applyconf\r\ndisconnect user alice\r\nconnections\r\n");
    EXPECT_EQ(Shown(), Texts{Told("Disable the account alice and disconnect its connection?",
                                  MessageIcon::Question)});
    // bob has no account: nothing is stored or sent, and the page says so.
    SelectIds(*page, {"9"});
    page->Action(Page::kDisableAccount)->trigger();
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Shown().value(1), Told("There is no account named \"bob\".", MessageIcon::Warning));
}

TEST(ConnectionTexts, QuestionsAndCountsInBothLanguages) {
    using res::UiLanguage;
    EXPECT_EQ(CutQuestion(CutKind::kUser, 3, "alice", {}, UiLanguage::Chinese),
              "断开 alice 的 3 个连接吗？");
    EXPECT_EQ(CutQuestion(CutKind::kDisableAccount, 1234, "张伟", {}, UiLanguage::English),
              "Disable the account 张伟 and disconnect its 1 234 connections?");
    EXPECT_EQ(ConnectionCountText(1000, 1234, UiLanguage::Chinese), "连接数：1 000（共 1 234）");
}

}  // namespace
