// The account page and its add/modify dialog against main.db and the control channel.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>

#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"
#include "tests/ui/pages/SettingsTestEnv.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/CAccountDlg.h"

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
    // A page whose dialog answers with `answer` (nullopt: cancelled) and records how it opened.
    std::unique_ptr<CAccountDlg> Page() {
        auto page = std::make_unique<CAccountDlg>(
            nullptr, [this](QWidget*, Purpose purpose, const QString& name) {
                opened_ << QString("%1:%2").arg(purpose == Purpose::Add ? "add" : "modify", name);
                return answer_;
            });
        page->resize(400, 300);
        page->show();
        return page;
    }
    static QStringList Listed(const CAccountDlg& page) {
        QStringList rows;
        const auto& model = page.Model();
        for (int r = 0; r < model.rowCount(); ++r)
            rows << model.data(model.index(r, 0), Qt::DisplayRole).toString() + "|" +
                        model.data(model.index(r, 1), Qt::DisplayRole).toString();
        return rows;
    }
    static void Select(CAccountDlg& page, const QString& name) {
        for (int r = 0; r < page.Model().rowCount(); ++r)
            if (QString::fromStdString(page.Model().Rows()[r].userName) == name)
                page.List()->selectRow(r);
    }
    Lines Accounts() const {
        return Rows("select username, password from accounts order by rowid");
    }
    // Whether the strong hash stored for the account named `name` is one of `password`.
    bool HashOf(const std::string& name, const std::string& password) const {
        const Lines hash = Rows(
            "select hash from account_passwords join accounts on account=accounts.rowid "
            "where username='" +
            name + "'");
        return hash.size() == 1 && CheckPasswordHash(hash[0], password) == HashCheck::kMatch;
    }

    std::optional<AccountInput> answer_;
    QStringList opened_;
};

TEST_F(AccountPageTest, ListsTheAccountsByNameUnderAToolbarOfThreeCommands) {
    auto page = Page();
    EXPECT_EQ(Listed(*page), (QStringList{"amy|2025-9-1 8:0:0", "bob|2025-10-1 8:0:0"}));
    EXPECT_EQ(page->Model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              "Create time");
    EXPECT_EQ(page->List()->columnWidth(0), 150);
    EXPECT_EQ(page->List()->columnWidth(1), 200);
    EXPECT_EQ(page->ToolBar()->geometry(), QRect(0, 0, 100, 30));
    EXPECT_EQ(page->List()->geometry(), QRect(0, 30, 400, 270));
    EXPECT_EQ(page->ToolBar()->iconSize(), QSize(16, 15));
    for (int id : {32777, 32778, 32779}) {
        ASSERT_NE(page->Action(id), nullptr) << id;
        EXPECT_FALSE(page->Action(id)->icon().pixmap(QSize(16, 15), QIcon::Active).isNull());
    }
}

TEST_F(AccountPageTest, AddStoresTheAccountTellsTheServerAndRefusesATakenName) {
    auto page = Page();
    answer_ = AccountInput{"用户", "密码"};
    page->Action(32777)->trigger();
    EXPECT_EQ(opened_, QStringList{"add:"});
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_ADDED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Accounts().back(), "用户|" + std::to_string(PasswordDigest("密码")));
    EXPECT_TRUE(HashOf("用户", "密码"));
    EXPECT_EQ(page->Model().rowCount(), 3);

    answer_ = AccountInput{"amy", "x"};
    page->OnAdd();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_USER_NAME_OCCUPIED)});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(page->Model().rowCount(), 3);
    EXPECT_EQ(Accounts().size(), 3u);

    answer_.reset();  // cancelled
    page->OnAdd();
    EXPECT_EQ(Shown(), QStringList{});
    EXPECT_EQ(Accounts().size(), 3u);
}

TEST_F(AccountPageTest, ModifyAndDeleteNeedASelection) {
    auto page = Page();
    page->OnModify();
    page->OnDelete();
    EXPECT_EQ(Shown(), (QStringList{Tip(res::IDS_SELECT_ACCOUNT_TO_MODIFY),
                                    Tip(res::IDS_SELECT_ACCOUNT_TO_DELETE)}));
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_EQ(Sent(), "");
}

TEST_F(AccountPageTest, ModifyRenamesKeepsAnUntypedPasswordAndRefusesAnotherAccountsName) {
    auto page = Page();
    Select(*page, "bob");
    answer_ = AccountInput{"bea", ""};
    page->Action(32778)->trigger();
    EXPECT_EQ(opened_, QStringList{"modify:bob"});
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_MODIFIED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Accounts(), (Lines{"bea|7", "amy|8"}));
    EXPECT_EQ(Listed(*page).join(','), "amy|2025-9-1 8:0:0,bea|2025-10-1 8:0:0");

    Select(*page, "bea");
    answer_ = AccountInput{"amy", "new"};
    page->OnModify();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_USER_NAME_OCCUPIED)});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Accounts(), (Lines{"bea|7", "amy|8"}));

    answer_ = AccountInput{"bea", "new"};
    page->OnModify();
    EXPECT_EQ(Accounts()[0], "bea|" + std::to_string(PasswordDigest("new")));
    EXPECT_TRUE(HashOf("bea", "new"));
    EXPECT_FALSE(HashOf("amy", "new"));
    Sent();
    Shown();

    // Deleted meanwhile (by another console): the list shows what is left, and says why.
    Select(*page, "bea");
    Sql("delete from accounts where username='bea'");
    page->OnModify();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_ACCOUNT_GONE)});
    EXPECT_EQ(Listed(*page), QStringList{"amy|2025-9-1 8:0:0"});
    EXPECT_EQ(Sent(), "");
}

TEST_F(AccountPageTest, SortingByCreateTimeIsByTimeAndDeletionFollowsTheSelection) {
    auto page = Page();
    Select(*page, "bob");
    page->List()->horizontalHeader()->sectionClicked(1);
    // 1 September before 1 October, whatever the text order says.
    EXPECT_EQ(Listed(*page).join(','), "amy|2025-9-1 8:0:0,bob|2025-10-1 8:0:0");
    page->List()->horizontalHeader()->sectionClicked(0);
    Sql("update accounts set create_time='2025-11-1 8:0:0' where username='amy'");
    UserConf::instance().load();
    page->Fill();
    page->List()->horizontalHeader()->sectionClicked(1);
    page->List()->horizontalHeader()->sectionClicked(1);  // ascending again, never descending
    EXPECT_EQ(Listed(*page).join(','), "bob|2025-10-1 8:0:0,amy|2025-11-1 8:0:0");
    Select(*page, "amy");
    page->List()->horizontalHeader()->sectionClicked(0);  // amy moves from row 1 to row 0
    page->OnDelete();
    EXPECT_EQ(Accounts(), Lines{"bob|7"});
    Sent();
    Select(*page, "bob");  // the last one: the list empties, without a message
    page->Action(32779)->trigger();
    EXPECT_EQ(page->Model().rowCount(), 0);
    EXPECT_EQ(Shown(), QStringList{});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Accounts(), Lines{});
}

TEST_F(AccountPageTest, DatabaseFailuresShowTheFailureMessageNotATakenName) {
    auto page = Page();
    Sql("drop table accounts");  // every account statement now fails
    answer_ = AccountInput{"new", "pw"};
    page->OnAdd();
    Select(*page, "amy");
    page->OnModify();
    EXPECT_EQ(Shown(), (QStringList{Failed(), Failed()}));
    EXPECT_EQ(Sent(), "");
}

// The dialog's checks, in order; the first failure is shown and the dialog stays open.
TEST(AddAccountDialogTest, ChecksInOrderAndModifyMayKeepThePassword) {
    CapturingSink sink;
    const ScopedMessageSink sinkGuard(&sink);
    const struct {
        Purpose purpose;
        const char *name, *password, *repeat;
        int message;  // 0: accepted
    } cases[] = {
        {Purpose::Add, "", "", "x", res::IDS_USER_NAME_EMPTY},
        {Purpose::Add, "a:b", "", "", res::IDS_USER_NAME_INVALID},
        {Purpose::Modify, "a\tb", "p", "p", res::IDS_USER_NAME_INVALID},
        {Purpose::Add, "a\x7f", "p", "p", res::IDS_USER_NAME_INVALID},
        {Purpose::Add, "用户 a", "p", "p", 0},
        {Purpose::Add, "a", "", "", res::IDS_PASSWORD_EMPTY},
        {Purpose::Add, "a", "p", "", res::IDS_PASSWORD_EMPTY},
        {Purpose::Add, "a", "", "p", res::IDS_PASSWORD_EMPTY},
        {Purpose::Add, "a", "Secret", "secret", res::IDS_PASSWORDS_DIFFER},
        {Purpose::Add, "a", "secret", "secret", 0},
        {Purpose::Modify, "", "", "", res::IDS_USER_NAME_EMPTY},
        {Purpose::Modify, "a", "", "", 0},
        {Purpose::Modify, "a", "p", "", res::IDS_PASSWORD_EMPTY},
        {Purpose::Modify, "a", "p", "q", res::IDS_PASSWORDS_DIFFER},
    };
    for (const auto& c : cases) {
        CAddAccountDlg dialog(nullptr, c.purpose, "title", "old");
        EXPECT_EQ(dialog.UserNameEdit()->text(), "old");
        EXPECT_TRUE(dialog.PasswordEdit()->text().isEmpty() &&
                    dialog.RepeatEdit()->text().isEmpty());
        dialog.UserNameEdit()->setText(c.name);
        dialog.PasswordEdit()->setText(c.password);
        dialog.RepeatEdit()->setText(c.repeat);
        const qsizetype before = sink.Shown().size();
        dialog.accept();
        const QStringList shown = sink.Shown().mid(before);
        SCOPED_TRACE(std::string(c.name) + "/" + c.password + "/" + c.repeat);
        if (c.message == 0) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_TRUE(shown.isEmpty());
        } else {
            EXPECT_NE(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(shown, QStringList{Tip(c.message, MessageIcon::Warning)});
        }
    }
}

TEST(AddAccountDialogTest, EachFieldTakesTwentyCharactersAndHidesPasswords) {
    const auto hint = [](Purpose purpose) {
        return CAddAccountDlg(nullptr, purpose, "").findChild<QLabel*>("accountHint")->text();
    };
    EXPECT_EQ(hint(Purpose::Add), res::Str(res::IDS_ACCOUNT_FIELDS_HINT));
    EXPECT_EQ(hint(Purpose::Modify), res::Str(res::IDS_ACCOUNT_FIELDS_HINT) + "\n" +
                                         res::Str(res::IDS_KEEP_PASSWORD_HINT));
    CAddAccountDlg dialog(nullptr, Purpose::Add, "Add account");
    EXPECT_EQ(dialog.windowTitle(), "Add account");
    for (QLineEdit* edit : {dialog.UserNameEdit(), dialog.PasswordEdit(), dialog.RepeatEdit()}) {
        QTest::keyClicks(edit, "12345678901234567890X");
        EXPECT_EQ(edit->text(), "12345678901234567890");
    }
    EXPECT_EQ(dialog.UserNameEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.RepeatEdit()->echoMode(), QLineEdit::Password);
}

}  // namespace
