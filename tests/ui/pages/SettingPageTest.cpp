// The settings page: its controls and layout, and Save against main.db and the control channel.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Common/ClientNetworks.h"
#include "Common/CppSQLite3DB.h"
#include "tests/ui/pages/SettingsTestEnv.h"
#include "ui/pages/dialogs/CAllowedNetworksDlg.h"
#include "ui/pages/models/ClientAddresses.h"
#include "ui/pages/tabs/CAccountDlg.h"
#include "ui/pages/tabs/CSettingDlg.h"
#include "ui/pages/widgets/AllowedNetworksEdit.h"

namespace {

class SettingPageTest : public SettingsTest {};

// Showing sends nothing; a Save writes back the stored TorvoAgent switch whatever the box says.
TEST_F(SettingPageTest, ShowsTheStoredValuesAndSaveKeepsTheHiddenTorvoAgentSwitch) {
    Sql("update configuration set value='0' where key='anonymous_allow';"
        "insert into accounts values ('amy', '1', '2025-1-1 0:0:0')");
    for (const std::string stored : {"0", "1"}) {
        Sql("update configuration set value='" + stored + "' where key='torvoagent_allow'");
        CSettingDlg page(nullptr);
        EXPECT_EQ(page.PortEdit()->text(), "8123");
        EXPECT_FALSE(page.AnonymousBox()->isChecked());
        EXPECT_EQ(page.TorvoAgentBox()->isChecked(), stored == "1");
        EXPECT_TRUE(page.TorvoAgentBox()->isHidden());
        EXPECT_EQ(page.AccountPage()->Model().rowCount(), 1);
        EXPECT_EQ(Sent(), "");
        page.TorvoAgentBox()->setChecked(stored == "0");
        page.OnSave();
        EXPECT_EQ(Value("torvoagent_allow"), stored);
        EXPECT_EQ(Sent(), "applyconf\r\n");
    }
}

// One save (or two alike) and what it shows, sends and leaves in main.db: all of it or, when
// one write fails, none.
struct SaveCase {
    const char* name;
    const char* failingKey;  // a write of this key fails ("": none)
    const char* port;
    bool anonymous, running;
    int saves;
    std::vector<int> shown;  // string ids of the tips of the last save; 0: "Operation failed"
    const char *sent, *storedPort, *storedAnonymous;
};

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveOutcomeTest : public SettingsTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveOutcomeTest, ShowsSendsAndStores) {
    const SaveCase& c = GetParam();
    if (*c.failingKey) {
        Sql(std::string("create trigger fail before update on configuration when old.key='") +
            c.failingKey + "' begin select raise(abort, 'refused'); end;");
    }
    SetServerRunning(c.running);
    CSettingDlg page(nullptr);
    page.PortEdit()->setText(c.port);
    page.AnonymousBox()->setChecked(c.anonymous);
    for (int i = 0; i < c.saves; ++i) {
        Shown();
        Sent();
        page.OnSave();
    }
    QStringList expected;
    for (int id : c.shown) expected << (id == 0 ? Failed() : Tip(id));
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(Value("listen_port"), c.storedPort);
    EXPECT_EQ(Value("anonymous_allow"), c.storedAnonymous);
}

constexpr int kSaved = res::IDS_SAVED_SUCCESSFULLY, kHint = res::IDS_RESTART_ENGINE_HINT;
constexpr char kApply[] = "applyconf\r\n";
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SaveOutcomeTest, ::testing::Values(
    SaveCase{"Unchanged", "", "8123", true, true, 1, {kSaved}, kApply, "8123", "1"},
    SaveCase{"NewPortHints", "", "9000", false, true, 1, {kHint, kSaved}, kApply, "9000", "0"},
    SaveCase{"SamePortAgainDoesNot", "", "9000", true, true, 2, {kSaved}, kApply, "9000", "1"},
    SaveCase{"StoppedServerNotTold", "", "8123", false, false, 1, {kSaved}, "", "8123", "0"},
    SaveCase{"AnonymousFailsAndThePortIsNotSaved", "anonymous_allow", "9000", false, true, 1, {0},
             "", "8123", "1"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(SettingPageTest, PortsOutsideOneTo65535AndTextAreRefusedBeforeAnythingIsWritten) {
    CSettingDlg page(nullptr);
    // Which texts are refused: ListenPortRuleTest; here, that the page asks that rule.
    page.PortEdit()->setText("0");
    page.AnonymousBox()->setChecked(false);
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Tip(res::Ctl::PortOutOfRange, MessageIcon::Warning)});
    // The control channel's own port can never be a listen port.
    page.PortEdit()->setText("8090");
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Told(res::Str(res::IDS_PORT_IS_CONTROL_PORT).arg(8090),
                                        MessageIcon::Warning)});
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Value("listen_port"), "8123");
    EXPECT_EQ(Value("anonymous_allow"), "1");
    page.PortEdit()->setText("65535");
    page.OnSave();
    EXPECT_EQ(Value("listen_port"), "65535");
}

// The dialog opens on the stored list; Ok refuses a bad entry (the note's texts: the shared
// network-list rules) and stays open. The list Ok'd is stored by the next Save, canonical.
TEST_F(SettingPageTest, AllowedNetworksAreEditedInTheirDialogAndStoredBySave) {
    std::optional<std::string> opened, answer;
    CSettingDlg page(nullptr, [&](QWidget*, const std::optional<std::string>& stored) {
        opened = stored;
        return answer;
    });
    const std::string stored = Value("allowed_networks");
    CAllowedNetworksDlg dialog(nullptr, stored);
    QPlainTextEdit* list = dialog.Networks()->List();
    EXPECT_TRUE(list->toPlainText().startsWith("127.0.0.0/8\n::1/128\n10.0.0.0/8\n"));
    list->setPlainText(list->toPlainText() + "\n10.1.2.3/8");  // the line after the defaults
    const QString problem = QString(
                                "Line %1, \"10.1.2.3/8\": the address has bits set beyond "
                                "its prefix; did you mean 10.0.0.0/8?")
                                .arg(list->toPlainText().count('\n') + 1);
    EXPECT_EQ(dialog.Networks()->Note()->text(), problem);
    dialog.accept();
    EXPECT_EQ(Shown(), QStringList{Told(problem, MessageIcon::Warning)});
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.RestoreDefaultsButton()->click();
    EXPECT_EQ(dialog.Stored(), CheckNetworkList(kDefaultClientNetworks).stored);
    list->setPlainText("192.168.1.7\n\n::/0");
    EXPECT_EQ(dialog.Networks()->Note()->text(), res::Str(res::IDS_NETWORKS_OPEN));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Stored(), "192.168.1.7/32,::/0");

    page.NetworksButton()->click();  // cancelled
    EXPECT_EQ(opened, stored);
    EXPECT_EQ(page.AllowedNetworks(), stored);
    answer = dialog.Stored();
    page.NetworksButton()->click();
    EXPECT_EQ(Value("allowed_networks"), stored) << "stored only by Save";
    EXPECT_EQ(Sent(), "");
    page.OnSave();
    EXPECT_EQ(Shown(), QStringList{Tip(res::IDS_SAVED_SUCCESSFULLY)});
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Value("allowed_networks"), "192.168.1.7/32,::/0");
}

// A list unreadable while the page opened (main.db held) opens empty with a note; Save leaves
// the stored row as it is, saves the rest and says both.
TEST_F(SettingPageTest, NetworksThatCannotBeReadAreKeptWhileTheRestIsSaved) {
    Sql("insert into configuration values ('allowed_networks', '10.0.0.0/8')");
    SetDefaultBusyTimeoutMs(50);
    CppSQLite3DB holder;
    holder.open(install_.Db().c_str());
    holder.execDML("begin exclusive");
    std::optional<std::string> opened = "not asked";
    CSettingDlg page(nullptr, [&](QWidget*, const std::optional<std::string>& stored) {
        opened = stored;
        return std::nullopt;
    });
    holder.execDML("rollback");
    EXPECT_EQ(page.AllowedNetworks(), std::nullopt);
    page.NetworksButton()->click();
    EXPECT_EQ(opened, std::nullopt);
    CAllowedNetworksDlg dialog(nullptr, std::nullopt);
    EXPECT_EQ(dialog.Networks()->List()->toPlainText(), "");
    EXPECT_EQ(dialog.Networks()->Note()->text(), res::Str(res::IDS_NETWORKS_UNREADABLE));

    page.PortEdit()->setText("9000");
    page.AnonymousBox()->setChecked(false);
    page.OnSave();
    EXPECT_EQ(Shown(), (QStringList{Tip(res::IDS_RESTART_ENGINE_HINT),
                                    Tip(res::IDS_NETWORKS_NOT_SAVED, MessageIcon::Warning)}));
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_EQ(Value("listen_port"), "9000");
    EXPECT_EQ(Value("anonymous_allow"), "0");
    EXPECT_EQ(Value("allowed_networks"), "10.0.0.0/8");
}

// The question names the program; the running server's own port is not asked about.
TEST_F(SettingPageTest, ANewPortAnotherProgramHoldsIsSavedOnlyWhenTheAdministratorSaysSo) {
    CSettingDlg::SetPortHolderFinder(nullptr);
    const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    ASSERT_TRUE(other >= 0 && ::bind(other, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                ::listen(other, 1) == 0 &&
                ::getsockname(other, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    const uint16_t held = ntohs(address.sin_port);
    const QString port = QString::number(held);
    QFile comm("/proc/self/comm");
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    const QString me = QString("%1 (pid %2)").arg(QString(comm.readAll()).trimmed()).arg(getpid());
    const QString asked = Told(QString("Port %1 is already in use by another program (%2): the "
                                       "proxy server cannot listen on it while that program "
                                       "holds it. Save this port anyway?")
                                   .arg(port, me),
                               MessageIcon::Question);
    {
        CSettingDlg page(nullptr);
        for (bool keep : {false, true}) {
            sink_.answer = keep;
            page.PortEdit()->setText(port);
            page.OnSave();
            const QStringList told = keep ? QStringList{asked, Tip(res::IDS_RESTART_ENGINE_HINT),
                                                        Tip(res::IDS_SAVED_SUCCESSFULLY)}
                                          : QStringList{asked};
            EXPECT_EQ(Shown(), told);
            EXPECT_EQ(Value("listen_port"), keep ? port.toStdString() : "8123");
        }
    }
    Sql("update configuration set value='8123' where key='listen_port'");
    SystemConf::instance().load();
    Server().SetFramedReply("system",
                            R"({"err_code":0,"data":{"listen_port":)" + port.toStdString() + "}}");
    CSettingDlg page(nullptr);
    page.show();
    Settle();
    page.PortEdit()->setText(port);
    page.OnSave();
    EXPECT_FALSE(Shown().join('\n').contains("already in use"));
    Server().SetFramedReply("system", "");
    ::close(other);
    EXPECT_FALSE(FindPortHolder(held).held);
}

// Under the port: where clients connect (saved port), and instead a note while the running
// server listens elsewhere, until it uses the saved port or stops; Copy copies the addresses.
TEST_F(SettingPageTest, ShowsTheClientAddressesAndWhenTheRunningServerUsesAnotherPort) {
    auto listening = [](int port) {
        Server().SetFramedReply(
            "system", R"({"err_code":0,"data":{"listen_port":)" + std::to_string(port) + "}}");
    };
    // Loopback and link-local addresses are skipped, this machine comes last.
    EXPECT_EQ(ClientAddresses({"10.0.0.5", "127.0.0.1", "::1", "fe80::1", "2001:db8::5", "10.0.0.5",
                               "127.0.1.1", "not an address"},
                              8089),
              (std::vector<std::string>{"10.0.0.5:8089", "[2001:db8::5]:8089", "127.0.0.1:8089"}));
    EXPECT_EQ(ClientAddresses({}, 1), std::vector<std::string>{"127.0.0.1:1"});
    listening(8089);
    CSettingDlg page(nullptr);
    EXPECT_TRUE(page.AddressLine()->toolTip().startsWith("Clients: "));
    EXPECT_TRUE(page.AddressLine()->toolTip().endsWith("127.0.0.1:8123"));
    page.CopyAddressesButton()->click();  // one a line, as a client's configuration takes it
    QStringList copied;
    for (const std::string& address : ClientAddresses(MachineAddresses(), 8123))
        copied << QString::fromStdString(address);
    EXPECT_EQ(QApplication::clipboard()->text(), copied.join('\n'));
    page.resize(1000, 600);
    page.show();
    Settle();
    const QString note =
        "The running proxy server still listens on port 8089; restart the proxy engine to use "
        "port 8123.";
    EXPECT_EQ(page.AddressLine()->text(), note);
    EXPECT_TRUE(page.AddressLine()->toolTip().endsWith("127.0.0.1:8123\n" + note));
    // Save learns the running port from applyconf's answer; "system" (still 8089) is not asked.
    page.hide();  // and no poll of its own
    Sent();
    Server().SetFramedReply("applyconf",
                            R"({"err_code":0,"data":{"listen_port":9000,"restart_needed":false}})");
    page.PortEdit()->setText("9000");
    page.OnSave();
    Settle();
    EXPECT_EQ(Sent(), "applyconf\r\n");
    EXPECT_TRUE(page.AddressLine()->toolTip().endsWith("127.0.0.1:9000"));
    EXPECT_TRUE(page.AddressLine()->text().startsWith("Clients: "));
    Server().SetFramedReply("applyconf", "");
    SetServerRunning(false);
    listening(1);
    page.show();  // asks again at once: nothing answers now
    Settle();
    EXPECT_TRUE(page.AddressLine()->text().startsWith("Clients: "));
    Server().SetFramedReply("system", "");
}

TEST_F(SettingPageTest, TheChinesePortLabelFitsLeftOfItsEdit) {
    res::SetUiLanguage(res::UiLanguage::Chinese);
    CSettingDlg page(nullptr);
    res::SetUiLanguage(res::UiLanguage::English);
    const QLabel* label = nullptr;
    for (const QLabel* l : page.findChildren<QLabel*>())
        if (l->text() == "代理服务端口:") label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_GT(page.PortEdit()->x(), label->geometry().right());
}

}  // namespace
