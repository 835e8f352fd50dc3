// The Setting tab of the real main window, end to end: accounts added, modified and deleted
// through the toolbar and the real dialog, port and anonymous switch saved through the page's
// controls, every change checked in main.db. Runs on any platform plugin (offscreen in the
// suite; QT_QPA_PLATFORM=xcb under Xvfb).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "Common/PasswordDigest.h"
#include "Common/SystemConf.h"
#include "tests/fakes/CapturingMessageSink.h"
#include "tests/support/TestDb.h"
#include "ui/CMainUIDlg.h"
#include "ui/CTabControl.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/CAccountDlg.h"
#include "ui/pages/CAddAccountDlg.h"
#include "ui/pages/CSettingDlg.h"

namespace {

// Types into the add/modify dialog once it is open, then presses its Ok button.
void AnswerDialog(const QString& name, const QString& password) {
    QTimer::singleShot(50, [name, password] {
        auto* dialog = qobject_cast<CAddAccountDlg*>(QApplication::activeModalWidget());
        if (!dialog) return AnswerDialog(name, password);  // not open yet
        dialog->UserNameEdit()->clear();
        QTest::keyClicks(dialog->UserNameEdit(), name);
        QTest::keyClicks(dialog->PasswordEdit(), password);
        QTest::keyClicks(dialog->RepeatEdit(), password);
        QTest::mouseClick(dialog->findChild<QPushButton*>("button1"), Qt::LeftButton);
    });
}

class SettingTabTest : public ::testing::Test {
protected:
    void SetUp() override { SystemConf::instance().load(); }
    std::vector<std::string> Accounts() const {
        return install_.Rows("select username, password from accounts order by rowid");
    }
    // The texts of the messages shown.
    QStringList Shown() const {
        QStringList texts;
        for (const QString& shown : sink_.Shown()) texts << shown.section('|', 0, 0);
        return texts;
    }

    test::ScopedInstall install_{
        "insert into configuration values ('lang', 'en'), ('listen_port', '8089'),"
        " ('torvoagent_allow', '1'), ('anonymous_allow', '1');"};
    CapturingSink sink_;
};

TEST_F(SettingTabTest, AccountsPortAndAnonymousSwitchReachMainDb) {
    CMainUIDlg dlg(nullptr, DefaultLanguageSwitch());
    dlg.show();
    dlg.Tabs()->Bar()->setCurrentIndex(1);
    auto* page = qobject_cast<CSettingDlg*>(dlg.Page(1));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CAccountDlg* accounts = page->AccountPage();
    EXPECT_TRUE(accounts->isVisible());

    for (const char* name : {"alice", "bob"}) {
        AnswerDialog(name, QString(name) + "-pw");
        accounts->Action(32777)->trigger();
    }
    const std::string bobDigest = std::to_string(PasswordDigest("bob-pw"));
    EXPECT_EQ(Accounts(),
              (std::vector<std::string>{"alice|" + std::to_string(PasswordDigest("alice-pw")),
                                        "bob|" + bobDigest}));
    EXPECT_EQ(accounts->Model().rowCount(), 2);

    accounts->List()->selectRow(0);  // alice
    AnswerDialog("carol", "");       // renamed, password left as it is
    accounts->Action(32778)->trigger();
    accounts->List()->selectRow(0);  // bob, now first by name
    accounts->Action(32779)->trigger();
    EXPECT_EQ(Accounts(),
              std::vector<std::string>{"carol|" + std::to_string(PasswordDigest("alice-pw"))});

    page->PortEdit()->clear();
    QTest::keyClicks(page->PortEdit(), "8123");
    QTest::mouseClick(page->AnonymousBox(), Qt::LeftButton, {},
                      QPoint(6, page->AnonymousBox()->height() / 2));
    QTest::mouseClick(page->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(install_.Value("listen_port"), "8123");
    EXPECT_EQ(install_.Value("anonymous_allow"), "0");
    EXPECT_EQ(install_.Value("torvoagent_allow"), "1");
    EXPECT_EQ(Shown(),
              (QStringList{"Added successfully", "Added successfully", "Modifyed successfully",
                           "In order for the changed configuration to take effect, "
                           "pls restart the proxy engine.",
                           "Saved successfully"}));
}

}  // namespace
