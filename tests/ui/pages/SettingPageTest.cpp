// The settings page: its controls and layout, and Save against main.db and the control channel.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "tests/ui/pages/SettingsTestEnv.h"
#include "ui/common/DialogUnits.h"
#include "ui/pages/AllowedNetworksEdit.h"
#include "ui/pages/CAccountDlg.h"
#include "ui/pages/CSettingDlg.h"
#include "ui/pages/ClientAddresses.h"

namespace {

class SettingPageTest : public SettingsTest {};

TEST_F(SettingPageTest, ShowsTheStoredValuesWithTheTorvoAgentBoxHidden) {
    Sql("update configuration set value='0' where key='anonymous_allow';"
        "insert into accounts values ('amy', '1', '2025-1-1 0:0:0')");
    CSettingDlg page(nullptr);
    EXPECT_EQ(page.PortEdit()->text(), "8123");
    EXPECT_FALSE(page.AnonymousBox()->isChecked());
    EXPECT_TRUE(page.TorvoAgentBox()->isChecked());
    EXPECT_TRUE(page.TorvoAgentBox()->isHidden());
    EXPECT_FALSE(page.AccountPage()->isHidden());
    EXPECT_EQ(page.AccountPage()->Model().rowCount(), 1);
    QStringList texts;
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             page.SystemGroup(), page.AccountGroup(), page.AnonymousBox(), page.SaveButton()})
        texts << w->property(qobject_cast<const QGroupBox*>(w) ? "title" : "text").toString();
    EXPECT_EQ(texts.join('/'), "System setting/Account setting/Allow anonymous access/Save");
    EXPECT_EQ(Sent(), "");  // showing the page sends nothing
}

TEST_F(SettingPageTest, LayoutFollowsTheClientRectangleAtEverySize) {
    CSettingDlg page(nullptr);
    page.show();
    const QRect save = page.SaveButton()->geometry();
    const QRect system = page.SystemGroup()->geometry();
    const QRect account = page.AccountGroup()->geometry();
    EXPECT_EQ(system.topLeft(), DluToRect(page.fontMetrics(), 7, 7, 306, 66).topLeft());
    for (QSize size : {QSize(700, 500), QSize(1200, 420), QSize(640, 700)}) {
        page.resize(size);
        SCOPED_TRACE(size.width());
        const int w = size.width(), h = size.height();
        EXPECT_EQ(page.SystemGroup()->geometry(),
                  QRect(system.left(), system.top(), w - 10 - system.left(), system.height()));
        EXPECT_EQ(page.SaveButton()->geometry(),
                  QRect(w - 20 - save.width(), save.top(), save.width(), save.height()));
        const QRect group(account.left(), account.top(), w - 10 - account.left(),
                          h - 10 - account.top());
        EXPECT_EQ(page.AccountGroup()->geometry(), group);
        EXPECT_EQ(page.AccountPage()->geometry(), group.adjusted(10, 20, -10, -10));
    }
}

TEST_F(SettingPageTest, SaveHintsAtARestartOnlyWhenThePortChanged) {
    CSettingDlg page(nullptr);
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");

    page.PortEdit()->setText("9000");
    page.AnonymousBox()->setChecked(false);
    page.OnSave();
    EXPECT_EQ(Shown(),
              (QStringList{Tip(res::IDS_RESTART_ENGINE_HINT), Tip(res::IDS_SAVED_SUCCESSFULLY)}));
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Value("listen_port"), "9000");
    EXPECT_EQ(Value("anonymous_allow"), "0");

    page.OnSave();  // the same new port again: no hint
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    SetServerRunning(false);  // a stopped server is not told; the save still succeeds
    page.AnonymousBox()->setChecked(true);
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Value("anonymous_allow"), "1");
}

TEST_F(SettingPageTest, PortsOutsideOneTo65535AndTextAreRefusedBeforeAnythingIsWritten) {
    CSettingDlg page(nullptr);
    const QString refused = Tip(res::Ctl::PortOutOfRange, MessageIcon::Warning);
    for (const char* text : {"0", "65536", "abc", "", "-1", "99999999999"}) {
        page.PortEdit()->setText(text);
        page.AnonymousBox()->setChecked(false);
        page.OnSave();
        EXPECT_EQ(Shown(), QStringList{refused}) << text;
    }
    // The control channel's own port can never be a listen port.
    page.PortEdit()->setText("8090");
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{QString("%1|TorvoProxy tip|%2|1")
                                       .arg(res::Str(res::IDS_PORT_IS_CONTROL_PORT).arg(8090))
                                       .arg(int(MessageIcon::Warning))});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Value("listen_port"), "8123");
    EXPECT_EQ(Value("anonymous_allow"), "1");
    for (const char* text : {"1", "65535"}) {
        page.PortEdit()->setText(text);
        page.OnSave();
        EXPECT_EQ(Value("listen_port"), text);
    }
    // Only digits can be typed.
    page.PortEdit()->clear();
    QTest::keyClicks(page.PortEdit(), "8a0-9");
    EXPECT_EQ(page.PortEdit()->text(), "809");
}

// The allowed networks: the stored list one a line, a bad entry explained as typed and
// refused by Save with nothing written, a good list stored in its canonical form.
TEST_F(SettingPageTest, AllowedNetworksAreCheckedAsTypedAndSavedOnlyWhenAllAreNetworks) {
    CSettingDlg page(nullptr);
    QPlainTextEdit* list = page.Networks()->List();
    EXPECT_TRUE(list->toPlainText().startsWith("127.0.0.0/8\n::1/128\n10.0.0.0/8\n"));
    const std::string stored = Value("allowed_networks");
    list->setPlainText(list->toPlainText() + "\n10.1.2.3/8");
    const QString problem =
        "Line 10, \"10.1.2.3/8\": the address has bits set beyond its prefix; did you mean "
        "10.0.0.0/8?";
    EXPECT_EQ(page.Networks()->Note()->text(), problem);
    page.OnSave();
    EXPECT_EQ(
        Shown(),
        QStringList{QString("%1|TorvoProxy tip|%2|1").arg(problem).arg(int(MessageIcon::Warning))});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Value("allowed_networks"), stored);
    list->setPlainText("  \n");
    EXPECT_EQ(page.Networks()->Note()->text(), res::Str(res::IDS_NETWORKS_EMPTY));

    list->setPlainText("192.168.1.7\n\n::/0");
    EXPECT_EQ(page.Networks()->Note()->text(), res::Str(res::IDS_NETWORKS_OPEN));
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Value("allowed_networks"), "192.168.1.7/32,::/0");
    EXPECT_EQ(list->toPlainText(), "192.168.1.7/32\n::/0");
}

TEST(ClientAddresses, SkipLoopbackAndLinkLocalAndEndWithThisMachine) {
    EXPECT_EQ(ClientAddresses({"10.0.0.5", "127.0.0.1", "::1", "fe80::1", "2001:db8::5", "10.0.0.5",
                               "127.0.1.1", "not an address"},
                              8089),
              (std::vector<std::string>{"10.0.0.5:8089", "[2001:db8::5]:8089", "127.0.0.1:8089"}));
    EXPECT_EQ(ClientAddresses({}, 1), std::vector<std::string>{"127.0.0.1:1"});
}

// Under the port: where clients connect (saved port), and a note while the running server
// listens elsewhere, until it uses the saved port or stops.
TEST_F(SettingPageTest, ShowsTheClientAddressesAndWhenTheRunningServerUsesAnotherPort) {
    auto listening = [](int port) {
        Server().SetFramedReply(
            "system", R"({"err_code":0,"data":{"listen_port":)" + std::to_string(port) + "}}");
    };
    listening(8089);
    CSettingDlg page(nullptr);
    EXPECT_TRUE(page.AddressLine()->toolTip().startsWith("Clients (HTTP and SOCKS5): "));
    EXPECT_TRUE(page.AddressLine()->toolTip().endsWith("127.0.0.1:8123"));
    page.CopyAddressesButton()->click();
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith("127.0.0.1:8123"));
    page.show();
    Settle();
    EXPECT_FALSE(page.RunningPortNote()->isHidden());
    EXPECT_EQ(page.RunningPortNote()->text(),
              "The running proxy server still listens on port 8089; restart the proxy engine to "
              "use port 8123.");
    listening(9000);
    page.PortEdit()->setText("9000");
    page.OnSave();  // asks again at once
    Settle();
    EXPECT_TRUE(page.AddressLine()->toolTip().endsWith("127.0.0.1:9000"));
    EXPECT_TRUE(page.RunningPortNote()->isHidden());
    SetServerRunning(false);
    listening(1);
    page.RefreshRunningPort();
    Settle();
    EXPECT_TRUE(page.RunningPortNote()->isHidden());
    Server().SetFramedReply("system", "");
}

TEST_F(SettingPageTest, TheStoredTorvoAgentSwitchSurvivesASave) {
    for (const char* stored : {"0", "1"}) {
        Sql(std::string("update configuration set value='") + stored +
            "' where key='torvoagent_allow'");
        CSettingDlg page(nullptr);
        page.TorvoAgentBox()->setChecked(stored[0] == '0');  // hidden: the user cannot change it
        page.OnSave();
        EXPECT_EQ(Value("torvoagent_allow"), stored);
    }
}

TEST_F(SettingPageTest, AFailedSaveSaysSoAndSendsNothing) {
    CSettingDlg page(nullptr);
    // Another process holds main.db (an exclusive transaction in the sqlite3 shell).
    FILE* holder = popen(("exec sqlite3 '" + DbPath() + "' > /dev/null").c_str(), "w");
    ASSERT_NE(holder, nullptr);
    std::fputs("begin exclusive;\nselect 1;\n", holder);
    std::fflush(holder);
    CppSQLite3DB probe;
    probe.setBusyTimeout(1);
    probe.open(DbPath().c_str());
    bool held = false;
    for (int i = 0; i < 500 && !held; ++i) {  // at most about 5 s
        try {
            probe.execQuery("select count(*) from configuration");
            QTest::qWait(10);
        } catch (const CppSQLite3Exception&) {
            held = true;
        }
    }
    ASSERT_TRUE(held);
    SetDefaultBusyTimeoutMs(50);
    page.PortEdit()->setText("9100");
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Failed()});
    EXPECT_EQ(Sent(), "");
    pclose(holder);  // the shell ends and its transaction rolls back
    EXPECT_EQ(Value("listen_port"), "8123");
}

TEST_F(SettingPageTest, ChineseTextsAndPlacement) {
    res::SetUiLanguage(res::UiLanguage::Chinese);
    CSettingDlg page(nullptr);
    res::SetUiLanguage(res::UiLanguage::English);
    EXPECT_EQ(page.SystemGroup()->title(), "系统设置");
    EXPECT_EQ(page.SaveButton()->text(), "保存");
    const QFontMetrics m = page.fontMetrics();
    // The account box starts lower by the address line, the note and the allowed networks.
    EXPECT_EQ(page.AccountGroup()->geometry().topLeft(), DluToRect(m, 7, 151, 306, 42).topLeft());
    EXPECT_EQ(page.SaveButton()->y(), DluToRect(m, 255, 49, 50, 14).y());
    // The label fits its text and the edit stays to its right.
    const QLabel* label = nullptr;
    for (const QLabel* l : page.findChildren<QLabel*>())
        if (l->text() == "代理服务端口:") label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_GT(page.PortEdit()->x(), label->geometry().right());
}

}  // namespace
