// The account page and its add/modify and limits dialogs against main.db and the control channel.
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <future>

#include "Common/AccountTexts.h"
#include "Common/PasswordDigest.h"
#include "Common/Paths.h"
#include "tests/support/ViewChecks.h"
#include "tests/ui/pages/SettingsTestEnv.h"
#include "ui/pages/dialogs/CAccountLimitsDlg.h"
#include "ui/pages/dialogs/CAllowedNetworksDlg.h"
#include "ui/pages/tabs/CAccountDlg.h"

namespace {

using Purpose = CAddAccountDlg::Purpose;

class AccountPageTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        Sql("insert into accounts values ('bob', '7', '2025-10-1 8:0:0'),"
            " ('amy', '8', '2025-9-1 8:0:0')");
        UserConf::instance().load();
    }
    // Its dialogs answer `answer_` and `limits_` (nullopt: cancelled) and record how they opened.
    std::unique_ptr<CAccountDlg> Page() {
        auto page = std::make_unique<CAccountDlg>(
            nullptr,
            [this](QWidget*, Purpose purpose, const QString& name) {
                opened_ << QString("%1:%2").arg(purpose == Purpose::Add ? "add" : "modify", name);
                return answer_;
            },
            [this](QWidget*, const QString& name, const AccountLimits& limits) {
                opened_ << "limits:" + name + (limits == AccountLimits{} ? "" : "*");
                return limits_;
            });
        page->resize(400, 300);
        page->show();
        return page;
    }
    static void Select(CAccountDlg& page, const QString& name) {
        for (int r = 0; r < page.Model().rowCount(); ++r)
            if (QString::fromStdString(page.Model().Rows()[r].userName) == name)
                page.List()->selectRow(r);
    }
    // What the server received, without the traffic asks that follow every selection.
    std::string Sent() {
        std::string kept;
        for (const QString& line : QString::fromStdString(SettingsTest::Sent()).split("\r\n"))
            if (!line.isEmpty() && !line.startsWith("traffic "))
                kept += line.toStdString() + "\r\n";
        return kept;
    }
    Lines Accounts() const {
        return Rows("select username, password from accounts order by rowid");
    }
    // Fills the next modal dialog of type D with `fill`, then clicks its Ok (or `button`).
    template <typename D>
    static void Answer(std::function<void(D&)> fill, const char* button = "button1") {
        QTimer::singleShot(0, [fill, button] {
            auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
            QTest::mouseClick(dialog->template findChild<QPushButton*>(button), Qt::LeftButton);
        });
    }

    std::optional<AccountInput> answer_;
    std::optional<AccountLimits> limits_;
    QStringList opened_;
};

// One command on the page of bob (7) and amy (8): what it shows, sends, stores and lists. A
// password typed is hashed off the window thread: nothing shows or changes until its answer.
struct AccountCase {
    const char* name;
    int command;                           // toolbar id: kAdd, kModify or kDelete
    const char* selected;                  // "": nothing selected
    const char *user, *password;           // the dialog's answer; user nullptr: cancelled
    int shown = 0;                         // string id of the tip; 0: none; -1: "Operation failed"
    bool sent = false;                     // applyconf
    const char* accounts = "bob|7,amy|8";  // name|digest by rowid ("#pw": pw's); nullptr: any
    const char* listed = "amy,bob";        // the names as the list shows them
    const char* meanwhile = "";            // SQL run once the page is filled
};

void PrintTo(const AccountCase& c, std::ostream* os) {  // a stable test name for ctest
    *os << c.name;
}

constexpr int kAdd = 32777, kModify = 32778, kDelete = 32779, kFailed = -1;

class AccountCommandTest : public AccountPageTest,
                           public ::testing::WithParamInterface<AccountCase> {};

TEST_P(AccountCommandTest, ShowsSendsStoresAndLists) {
    const AccountCase& c = GetParam();
    auto page = Page();
    if (*c.selected) Select(*page, c.selected);
    if (c.user) answer_ = AccountInput{c.user, c.password};
    if (*c.meanwhile) Sql(c.meanwhile);
    const Lines before = c.accounts ? Accounts() : Lines{};
    page->Action(c.command)->trigger();
    const bool asks = c.command == kAdd || (c.command == kModify && *c.selected);
    if (asks && c.user && *c.password) {  // the window thread never waits for a password hash
        EXPECT_EQ(sink_.Shown().size(), shownSeen_);
        if (c.accounts) {
            EXPECT_EQ(Accounts(), before);
        }
    }
    Settle();

    EXPECT_EQ(opened_,
              asks ? QStringList{QString(c.command == kAdd ? "add:" : "modify:") + c.selected}
                   : QStringList());
    EXPECT_EQ(Shown(), c.shown == 0  ? QStringList()
                       : c.shown < 0 ? QStringList{Failed()}
                                     : QStringList{Tip(c.shown)});
    EXPECT_EQ(Sent(), c.sent ? "applyconf\r\n" : "");
    if (c.accounts) {
        QStringList expected = QString(c.accounts).split(',', Qt::SkipEmptyParts);
        for (QString& row : expected)
            if (const qsizetype at = row.indexOf('#'); at >= 0)
                row = row.left(at) + QString::number(PasswordDigest(row.mid(at + 1).toStdString()));
        QStringList stored;
        for (const std::string& row : Accounts()) stored << QString::fromStdString(row);
        EXPECT_EQ(stored, expected);
    }
    EXPECT_EQ(test::ColumnTexts(page->Model(), 0).join(','), c.listed);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, AccountCommandTest, ::testing::ValuesIn(std::vector<AccountCase>{
    {"Add", kAdd, "", "用户", "密码", res::IDS_ADDED_SUCCESSFULLY, true, "bob|7,amy|8,用户|#密码",
     "amy,bob,用户"},
    {"AddTaken", kAdd, "", "amy", "x", res::IDS_USER_NAME_OCCUPIED},
    {"AddCancelled", kAdd, "", nullptr, nullptr},
    {"AddFails", kAdd, "", "new", "pw", kFailed, false, nullptr, "amy,bob", "drop table accounts"},
    {"RenameKeepsThePassword", kModify, "bob", "bea", "", res::IDS_MODIFIED_SUCCESSFULLY, true,
     "bea|7,amy|8", "amy,bea"},
    {"NewPassword", kModify, "bob", "bob", "new", res::IDS_MODIFIED_SUCCESSFULLY, true,
     "bob|#new,amy|8"},
    {"ModifyCancelled", kModify, "bob", nullptr, nullptr},
    {"ModifyGone", kModify, "bob", "bea", "", res::IDS_ACCOUNT_GONE, false, "amy|8", "amy",
     "delete from accounts where rowid=1"},
    {"ModifyNeedsASelection", kModify, "", "x", "y", res::IDS_SELECT_ACCOUNT_TO_MODIFY},
    {"Delete", kDelete, "bob", nullptr, nullptr, 0, true, "amy|8", "amy"},
    {"DeleteNeedsASelection", kDelete, "", nullptr, nullptr, res::IDS_SELECT_ACCOUNT_TO_DELETE}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The page's own dialogs, answered by typing and clicking: the name and password read reach
// main.db; limits Ok'd are stored (the ticked one, the unticked as none), cancelled ones are not.
TEST_F(AccountPageTest, TheRealDialogsStoreWhatWasTypedAndTicked) {
    CAccountDlg page(nullptr);
    Answer<CAddAccountDlg>([](CAddAccountDlg& dialog) {
        QTest::keyClicks(dialog.UserNameEdit(), "carol");
        QTest::keyClicks(dialog.PasswordEdit(), "pw");
        QTest::keyClicks(dialog.RepeatEdit(), "pw");
    });
    page.Action(32777)->trigger();
    Settle();
    EXPECT_EQ(Accounts().back(), "carol|" + std::to_string(PasswordDigest("pw")));
    for (const auto& [button, kb] : {std::pair{"button1", 100}, {"button2", 5}}) {
        Select(page, "amy");
        Answer<CAccountLimitsDlg>(
            [kb = kb](CAccountLimitsDlg& dialog) {
                dialog.BandwidthBox()->setChecked(true);
                dialog.BandwidthEdit()->setValue(kb);
            },
            button);
        page.Action(32780)->trigger();
        EXPECT_EQ(Rows("select * from account_limits"), Lines{"2|1|NULL|NULL|102400"}) << button;
    }
}

TEST_F(AccountPageTest, LimitsAreStoredForTheSelectedAccountAndTheListShowsAndSortsEachOnesState) {
    auto page = Page();
    page->OnLimits();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SELECT_ACCOUNT_FOR_LIMITS)});
    const int64_t past = QDateTime(QDate(2020, 5, 1), QTime(0, 0)).toSecsSinceEpoch();
    limits_ = AccountLimits{true, past, 1 << 20, 2048};
    Select(*page, "amy");
    page->Action(32780)->trigger();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Rows("select * from account_limits"),
              Lines{"2|1|" + std::to_string(past) + "|1048576|2048"});
    for (bool enabled : {false, true}) {
        Select(*page, "bob");
        limits_ = AccountLimits{enabled, std::nullopt, 1 << 20, std::nullopt};
        page->OnLimits();
    }
    EXPECT_EQ(opened_, (QStringList{"limits:amy", "limits:bob", "limits:bob*"}));
    // The month's traffic comes from main.db as the server stored it; exactly the quota is used up.
    Sql("insert into account_traffic values (1, '" + TrafficMonth(std::time(nullptr)) +
        "', 1048576), (1, '2020-01', 99)");
    UserConf::instance().load();
    page->Fill();
    QStringList cells;
    for (int r = 0; r < 2; ++r)
        for (int c = 2; c < 5; ++c) cells << page->Model().index(r, c).data().toString();
    // refused from 0:00 on 1 May: its last day was 30 April
    EXPECT_EQ(cells, (QStringList{"Expired", "2020-04-30", "0 B / 1.00 MB", "Quota used", "Never",
                                  "1.00 MB / 1.00 MB"}));
    for (int column : {3, 4}) {  // "Never" after every date; the month's traffic by bytes
        page->List()->model()->sort(column, Qt::DescendingOrder);
        EXPECT_EQ(test::ColumnTexts(page->Model(), 0).join(','), "bob,amy") << column;
    }
    EXPECT_EQ(Sent(), "applyconf\r\napplyconf\r\n");
    // Sorting by creation is by time: 1 September before 1 October, whatever the text order says;
    // a second click sorts ascending again, never descending. Deletion follows the selection.
    Select(*page, "amy");  // row 1, moved to row 0
    for (int click = 0; click < 2; ++click) {
        page->List()->horizontalHeader()->sectionClicked(1);
        EXPECT_EQ(test::ColumnTexts(page->Model(), 0).join(','), "amy,bob") << click;
    }
    page->OnDelete();
    EXPECT_EQ(Accounts(), Lines{"bob|7"});
}

// The selection is kept; hidden, the page does not poll.
TEST_F(AccountPageTest, StateAndUsedFollowTheServersCountsWhileThePageIsShown) {
    Sql(kAccountLimitsSchema);
    Sql("insert into account_limits (account, monthly_bytes) values (1, 1048576)");
    UserConf::instance().load();
    auto page = Page();
    Select(*page, "bob");
    auto bob = [&] {
        QStringList cells;
        for (int c : {2, 4}) cells << page->Model().index(1, c).data().toString();
        return cells.join(" | ");
    };
    ASSERT_EQ(bob(), "Enabled | 0 B / 1.00 MB");
    QTimer& poll = page->CounterTimer();
    EXPECT_TRUE(poll.isActive() && poll.interval() == CAccountDlg::kCounterPollMs);
    Sql("insert into account_traffic values (1, '" + TrafficMonth(std::time(nullptr)) +
        "', 1100000)");
    poll.setInterval(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bob() == "Quota used | 1.05 MB / 1.00 MB"; }))
        << bob().toStdString();
    EXPECT_EQ(page->List()->selectionModel()->selectedRows().value(0).row(), 1);
    page->hide();
    EXPECT_FALSE(poll.isActive());
    Settle();  // a read the last tick started
    // The read runs off the window thread: while main.db keeps it waiting, the page goes on
    // showing what it had, and a second poll meanwhile is not doubled.
    std::promise<void> release;
    std::atomic<int> reads{0};
    CAccountDlg::SetCounterReader([&reads, released = release.get_future().share()](int64_t) {
        ++reads;
        released.wait_for(std::chrono::seconds(20));
        return std::optional(AccountCounters{{}, {{1, 5}}});
    });
    page->RefreshCounters();
    page->RefreshCounters();
    EXPECT_EQ(bob(), "Quota used | 1.05 MB / 1.00 MB");
    release.set_value();
    Settle();
    EXPECT_EQ(bob(), "Enabled | 5 B / unlimited");
    EXPECT_EQ(reads, 1);
    CAccountDlg::SetCounterReader(nullptr);
}

// Days without a row as 0, in the unit the largest needs; a stopped server or an unreadable
// reply shows no bars.
TEST_F(AccountPageTest, TheSelectedAccountsTrafficIsChartedPerDayForThirtyDays) {
    const auto day = [](int ago) {
        return QDate::currentDate().addDays(-ago).toString("yyyy-MM-dd").toStdString();
    };
    Server().SetFramedReply("traffic bob", R"({"err_code":0,"user":"bob","data":[{"day":")" +
                                               day(40) + R"(","bytes_up":5},{"day":")" + day(3) +
                                               R"(","bytes_up":1024,"bytes_down":1024},{"day":")" +
                                               day(0) + R"(","bytes_down":3072}]})");
    Server().SetFramedReply("traffic amy", R"({"err_code":0,"data":{}})");
    auto page = Page();
    const account_traffic::TrafficChart& chart = page->Traffic();
    const auto bars = [&] {
        std::vector<double> heights;
        for (unsigned i = 0; i < chart.bars->GetPointsCount(); ++i)
            heights.push_back(chart.bars->GetPoint(i).Y);
        return heights;
    };
    Select(*page, "bob");
    Settle();
    EXPECT_EQ(SettingsTest::Sent(), "traffic bob\r\n");
    std::vector<double> expected(30, 0.0);
    expected[26] = 2, expected[29] = 3;  // KB
    EXPECT_EQ(bars(), expected);
    EXPECT_EQ(chart.leftAxis->GetLabel()->GetText(), "Traffic (KB)");
    EXPECT_EQ(chart.bottomAxis->GetTickLabel(0), QDate::currentDate().toString("MM-dd"));
    EXPECT_EQ(chart.chart->GetTitle()->GetString(0), "Traffic of bob per day, last 30 days");
    for (const bool running : {true, false}) {  // amy's reply is unreadable; then a stopped server
        SetServerRunning(running);
        Select(*page, running ? "amy" : "bob");
        Settle();
        EXPECT_TRUE(bars().empty()) << running;
        EXPECT_EQ(chart.chart->GetTitle()->GetString(0),
                  QString("No traffic recorded for ") + (running ? "amy" : "bob"));
    }
    page->List()->clearSelection();
    EXPECT_EQ(chart.chart->GetTitle()->GetString(0),
              "Select an account to see its traffic per day");
    EXPECT_FALSE(chart.leftAxis->IsVisible() || chart.bottomAxis->IsVisible());
    // Across a month's end; rows out of the range, of no real day or in another form are left
    // out, two rows of a day add up.
    const std::vector<TrafficDay> rows{{"2026-02-28", 1, 0}, {"2026-03-01", 0, 2},
                                       {"2026-03-01", 1, 0}, {"2026-3-01", 9, 9},
                                       {"2026-02-30", 9, 9}, {"2026-03-02", 9, 9},
                                       {"2026-02-26", 9, 9}, {"2026-03-01", UINT64_MAX, 1}};
    std::vector<std::string> shown;
    for (const DayBytes& d : LastDays(rows, {2026, 3, 1}, 3))
        shown.push_back(CalendarDayText(d.day) + "=" + std::to_string(d.bytes));
    EXPECT_EQ(shown, (std::vector<std::string>{"2026-02-27=0", "2026-02-28=1",
                                               "2026-03-01=" + std::to_string(UINT64_MAX)}));
}

TEST(AccountLimitsDialogTest, TickedLimitsAreReturnedInBytesAndUntickedOnesAsNone) {
    const test::ScopedTimeZone farFromUtc("Pacific/Kiritimati");  // dates are local: UTC+14
    const int64_t expires = QDateTime(QDate(2027, 1, 31), QTime(0, 0)).toSecsSinceEpoch();
    CAccountLimitsDlg dialog(nullptr, "amy", AccountLimits{false, expires, 5 << 20 | 1, {}});
    EXPECT_FALSE(dialog.EnabledBox()->isChecked());
    EXPECT_EQ(dialog.ExpiresEdit()->date(), QDate(2027, 1, 30)) << "the last day it works";
    EXPECT_EQ(dialog.MonthlyEdit()->value(), 6) << "rounded up to whole MB";
    EXPECT_FALSE(dialog.BandwidthBox()->isChecked() || dialog.BandwidthEdit()->isEnabled());
    dialog.EnabledBox()->setChecked(true);
    dialog.MonthlyBox()->setChecked(false);
    dialog.BandwidthBox()->setChecked(true);
    EXPECT_TRUE(dialog.BandwidthEdit()->isEnabled());
    dialog.BandwidthEdit()->setValue(100);
    EXPECT_EQ(dialog.Limits(), (AccountLimits{true, expires, std::nullopt, 102400u}));
    // The day chosen works to its end: refused from 0:00 of the next.
    dialog.ExpiresEdit()->setDate(QDate(2027, 1, 31));
    EXPECT_EQ(dialog.Limits().expires,
              QDateTime(QDate(2027, 2, 1), QTime(0, 0)).toSecsSinceEpoch());
    // An amount beyond the field's range shows at its end, never wrapped round to a small one.
    CAccountLimitsDlg huge(nullptr, "amy", AccountLimits{true, {}, UINT64_MAX / 2, {}});
    EXPECT_EQ(huge.MonthlyEdit()->value(), huge.MonthlyEdit()->maximum());
}

// The first failed check is shown and the dialog stays open (which check fails first: the shared
// account-field rules); Modify may keep the password; the passwords are hidden.
TEST(AddAccountDialogTest, ChecksInOrderLimitsTheFieldsAndModifyMayKeepThePassword) {
    CapturingSink sink;
    const struct {
        Purpose purpose;
        const char *name, *password, *repeat;
        int message;  // 0: accepted
    } cases[] = {
        {Purpose::Add, "a:b", "", "", res::IDS_USER_NAME_INVALID},
        {Purpose::Add, "用户 a", "p", "p", 0},
        {Purpose::Modify, "a", "", "", 0},
        {Purpose::Modify, "a", "p", "", res::IDS_PASSWORD_EMPTY},
    };
    for (const auto& c : cases) {
        CAddAccountDlg dialog(nullptr, c.purpose, "title", "old");
        EXPECT_EQ(dialog.UserNameEdit()->text(), "old");
        EXPECT_EQ(dialog.PasswordEdit()->text() + dialog.RepeatEdit()->text(), "");
        dialog.UserNameEdit()->setText(c.name);
        dialog.PasswordEdit()->setText(c.password);
        dialog.RepeatEdit()->setText(c.repeat);
        const qsizetype before = sink.Shown().size();
        dialog.accept();
        const QStringList shown = sink.Shown().mid(before);
        SCOPED_TRACE(std::string(c.name) + "/" + c.password + "/" + c.repeat);
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.message == 0);
        EXPECT_EQ(shown,
                  c.message ? QStringList{Tip(c.message, MessageIcon::Warning)} : QStringList());
    }
    CAddAccountDlg dialog(nullptr, Purpose::Add, "");  // Modify's fields are the same
    for (QLineEdit* edit : {dialog.UserNameEdit(), dialog.PasswordEdit(), dialog.RepeatEdit()}) {
        QTest::keyClicks(edit, "12345678901234567890X");
        EXPECT_EQ(edit->text(), "12345678901234567890");
        const bool password = edit != dialog.UserNameEdit();
        EXPECT_EQ(edit->echoMode(), password ? QLineEdit::Password : QLineEdit::Normal);
    }
}

TEST_F(AccountPageTest, TheCommandLineAndThePageShareMainDb) {
    const test::ScopedEnv backend("TORVO_SERVICE_BACKEND", "local");
    const test::ScopedEnv english("LC_ALL", "C");
    const auto ctl = [](const std::string& arguments, const std::string& input = "") {
        test::WriteText(GetModuleFilePath("stdin"), input);
        const std::string command = std::string(TORVO_CTL_PATH) + " --install-dir '" +
                                    GetModuleDirectory() + "' " + arguments + " <'" +
                                    GetModuleFilePath("stdin") + "' >'" +
                                    GetModuleFilePath("stdout") + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << test::ReadText(GetModuleFilePath("stdout"));
        return test::ReadText(GetModuleFilePath("stdout"));
    };
    const auto page = Page();
    Settle();  // the read its showing started has delivered: the next one is not refused
    ctl("account modify bob --disable");
    page->RefreshCounters();  // as every few seconds while the page shows
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return test::RowTexts(page->Model(), 1).at(2) == "Disabled"; }));
    Settle();

    ctl("account add carol --password-stdin", "pw\n");
    answer_ = AccountInput{"dave", "pw"};
    page->OnAdd();  // the refill after its own change lists what the command line added
    Settle();       // once the password's hash is made
    EXPECT_EQ(test::ColumnTexts(page->Model(), 0).join(','), "amy,bob,carol,dave");
    const std::string listed = ctl("--json accounts");
    for (const char* name : {"\"amy\"", "\"bob\"", "\"carol\"", "\"dave\""})
        EXPECT_NE(listed.find(std::string("\"name\" : ") + name), std::string::npos) << listed;
}
// In both languages: the add/modify dialog is 245 x 97 dialog units with Ok and Cancel at 76;
// each dialog tabs in reading order (so the limits dialog's tick boxes before their fields); the
// date picker names months and days in the console's language.
TEST(AccountDialogsLayoutTest, TemplateGeometryReadingOrderTabsAndTheConsolesLocale) {
    for (const auto& [lang, modifyPlaceholder, monday] :
         {std::tuple{res::UiLanguage::English, "Leave empty to keep", "Mon"},
          {res::UiLanguage::Chinese, "留空则不修改", "周一"}}) {
        res::SetUiLanguage(lang);
        CAddAccountDlg account(nullptr, Purpose::Modify, "");
        EXPECT_EQ(test::InDialogUnits(account).size(), QSize(245, 97));
        for (const char* button : {"button1", "button2"})
            EXPECT_EQ(test::InDialogUnits(*account.findChild<QPushButton*>(button)).y(), 76);
        EXPECT_EQ(account.PasswordEdit()->placeholderText(), modifyPlaceholder);
        CAccountLimitsDlg limits(nullptr, "amy", AccountLimits{true, {}, {}, {}});
        limits.ExpiresBox()->setChecked(true);
        limits.adjustSize();
        CAllowedNetworksDlg networks(nullptr, std::string("10.0.0.0/8"));
        networks.adjustSize();
        for (QDialog* dialog : std::initializer_list<QDialog*>{&account, &limits, &networks}) {
            EXPECT_GE(test::TabChain(*dialog).size(), 4) << dialog->objectName().toStdString();
            EXPECT_EQ(test::TabsOutOfReadingOrder(*dialog).join("; ").toStdString(), "");
        }
        EXPECT_EQ(limits.ExpiresEdit()->calendarWidget()->locale().dayName(1, QLocale::ShortFormat),
                  monday);
    }
    res::SetUiLanguage(res::UiLanguage::English);
}

}  // namespace
