#include "ui/pages/tabs/CSettingDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <optional>

#include "Common/AllowedNetworks.h"
#include "Common/Database.h"
#include "Common/SystemConf.h"
#include "Common/UserConf.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "ui/common/DialogUnits.h"
#include "ui/pages/models/ClientAddresses.h"
#include "ui/pages/plumbing/ApplyConf.h"
#include "ui/pages/plumbing/LinkReplies.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/tabs/CAccountDlg.h"
#include "ui/pages/widgets/AllowedNetworksEdit.h"

namespace {

struct DluBox {
    int x, y, w, h;
};

// Where each control sits, in dialog units; the two languages place some differently.
// The address line and the note under the port, and the allowed networks under them, take
// kAddedDlu more of the system box; the account box starts that much lower.
struct Placement {
    DluBox systemGroup, accountGroup, anonymous, torvoAgent, portLabel, portEdit, protocolHint,
        save, addresses, note, networks;
};
constexpr int kAddedDlu = 26 + 50;
constexpr Placement kEnglish{{7, 7, 306, 66 + kAddedDlu},
                             {7, 79 + kAddedDlu, 306, 114 - kAddedDlu},
                             {16, 20, 100, 10},
                             {120, 20, 93, 10},
                             {16, 42, 78, 8},
                             {104, 39, 40, 14},
                             {152, 41, 111, 8},
                             {255, 56, 50, 14},
                             {16, 60, 180, 8},
                             {16, 76, 290, 8},
                             {16, 90, 290, 46}};
constexpr Placement kChinese{{7, 7, 306, 62 + kAddedDlu},
                             {7, 75 + kAddedDlu, 306, 118 - kAddedDlu},
                             {16, 20, 100, 10},
                             {120, 20, 93, 10},
                             {16, 42, 44, 8},
                             {66, 39, 40, 14},
                             {113, 42, 78, 8},
                             {255, 49, 50, 14},
                             {16, 60, 180, 8},
                             {16, 74, 290, 8},
                             {16, 86, 290, 46}};

// Places a control at its dialog-unit box; a text control is widened to show all its text.
void Place(QWidget* control, const DluBox& box) {
    QRect rect = DluToRect(control->fontMetrics(), box.x, box.y, box.w, box.h);
    if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control)) {
        rect.setWidth(std::max(rect.width(), control->sizeHint().width()));
    }
    control->setGeometry(rect);
}

QString JoinedAddresses(uint16_t port, const char* separator) {
    QStringList list;
    for (const std::string& address : ClientAddresses(MachineAddresses(), port))
        list << QString::fromStdString(address);
    return list.join(QLatin1String(separator));
}

// The port as typed: an integer from 1 to 65535, blanks around it allowed.
std::optional<int> ParsePort(const QString& text) {
    bool ok = false;
    const int port = text.trimmed().toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535) return std::nullopt;
    return port;
}

}  // namespace

CSettingDlg::CSettingDlg(QWidget* parent) : QWidget(parent), link_(new LinkReplies(this)) {
    setObjectName("setting105");
    SystemConf& system = SystemConf::instance();
    UserConf& users = UserConf::instance();
    system.load();
    users.load();
    torvoAgentAllow_ = torvoAgentAllowLoaded_ = system.torvoAgentAllow;
    anonymousAllow_ = users.anonymousAllow;
    listenPort_ = listenPortLoaded_ = system.listenPort;
    // A failure leaves the list empty, which Save refuses: nothing is lost.
    UseDatabase([this](CppSQLite3DB& db) { allowedNetworks_ = LoadAllowedNetworks(db); },
                DbFailure::kLogError);

    BuildControls();
    ShowFields();
    // The TorvoAgent switch is never changed here; its stored value passes through Save.
    torvoAgentBox_->hide();
    accountPage_ = new CAccountDlg(this);
    accountPage_->show();
    setFocusProxy(anonymousBox_);
    runningPortTimer_.setInterval(kRunningPortPeriodMs);
    connect(&runningPortTimer_, &QTimer::timeout, this, &CSettingDlg::RefreshRunningPort);
    Layout();
}

void CSettingDlg::BuildControls() {
    const Placement& at =
        res::CurrentUiLanguage() == res::UiLanguage::Chinese ? kChinese : kEnglish;
    // The group boxes first, so the controls over them stay on top.
    systemGroup_ = new QGroupBox(res::Str(res::Ctl::SystemSettingGroup), this);
    systemGroup_->setObjectName("group1013");
    Place(systemGroup_, at.systemGroup);
    accountGroup_ = new QGroupBox(res::Str(res::Ctl::AccountSettingGroup), this);
    accountGroup_->setObjectName("group1014");
    Place(accountGroup_, at.accountGroup);

    anonymousBox_ = new QCheckBox(res::Str(res::Ctl::AllowAnonymous), this);
    anonymousBox_->setObjectName("check1010");
    Place(anonymousBox_, at.anonymous);
    torvoAgentBox_ = new QCheckBox(res::Str(res::Ctl::AllowTorvoAgent), this);
    torvoAgentBox_->setObjectName("check1009");
    Place(torvoAgentBox_, at.torvoAgent);

    portLabel_ = new QLabel(res::Str(res::Ctl::ListenPortLabel), this);
    Place(portLabel_, at.portLabel);
    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName("edit1011");
    // Only digits can be typed, as in a number edit; pasted text is still checked at Save.
    portEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), portEdit_));
    Place(portEdit_, at.portEdit);
    // The label may have grown to fit its text; the edit stays clear of it.
    if (portEdit_->x() < portLabel_->geometry().right() + 4) {
        portEdit_->move(portLabel_->geometry().right() + 4, portEdit_->y());
    }
    protocolHint_ = new QLabel(res::Str(res::Ctl::ProtocolHint), this);
    Place(protocolHint_, at.protocolHint);
    if (protocolHint_->x() < portEdit_->geometry().right() + 8) {
        protocolHint_->move(portEdit_->geometry().right() + 8, protocolHint_->y());
    }

    saveButton_ = new QPushButton(res::Str(res::Ctl::Save), this);
    saveButton_->setObjectName("button1012");
    Place(saveButton_, at.save);
    connect(saveButton_, &QPushButton::clicked, this, [this] { OnSave(); });

    addressLine_ = new QLabel(this);
    addressLine_->setObjectName("clientAddresses");
    addressLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Place(addressLine_, at.addresses);
    copyAddresses_ = new QPushButton(res::Str(res::IDS_COPY), this);
    copyAddresses_->setObjectName("copyAddresses");
    connect(copyAddresses_, &QPushButton::clicked, this, &CSettingDlg::CopyAddresses);
    runningPortNote_ = new QLabel(this);
    runningPortNote_->setObjectName("runningPortNote");
    runningPortNote_->setStyleSheet(QStringLiteral("color: #c00000"));
    Place(runningPortNote_, at.note);
    runningPortNote_->hide();
    networks_ = new AllowedNetworksEdit(this);
    Place(networks_, at.networks);
}

void CSettingDlg::ShowAddresses() {
    const auto saved = static_cast<uint16_t>(listenPortLoaded_);
    addressLine_->setToolTip(res::Str(res::IDS_CLIENT_ADDRESSES).arg(JoinedAddresses(saved, ", ")));
    PlaceAddressLine();
    const bool differs = runningPort_ && *runningPort_ != saved;
    if (differs) {
        runningPortNote_->setText(
            res::Str(res::IDS_RUNNING_PORT_DIFFERS).arg(*runningPort_).arg(saved));
        runningPortNote_->resize(runningPortNote_->sizeHint().width(), runningPortNote_->height());
    }
    runningPortNote_->setVisible(differs);
}

void CSettingDlg::PlaceAddressLine() {
    // The line ends before Copy, and Copy before Save; a long list is cut with "…" (the tip
    // holds it whole).
    copyAddresses_->adjustSize();
    const int room = saveButton_->x() - 16 - copyAddresses_->width() - addressLine_->x();
    const QString full = addressLine_->toolTip();
    const QFontMetrics metrics = addressLine_->fontMetrics();
    addressLine_->setText(metrics.elidedText(full, Qt::ElideRight, std::max(room, 0)));
    addressLine_->resize(std::min(addressLine_->sizeHint().width(), std::max(room, 0)),
                         addressLine_->height());
    copyAddresses_->move(addressLine_->geometry().right() + 8,
                         addressLine_->geometry().center().y() - copyAddresses_->height() / 2);
}

void CSettingDlg::CopyAddresses() const {
    QApplication::clipboard()->setText(
        JoinedAddresses(static_cast<uint16_t>(listenPortLoaded_), "\n"));
}

void CSettingDlg::RefreshRunningPort() {
    link_->Ask(
        "system",
        [] {
            std::string body;
            if (!MQClientSingleton::instance()->System(body)) return std::optional<uint16_t>();
            return ReadSystemListenPort(body);
        },
        [this](std::optional<uint16_t> port) {
            runningPort_ = port;  // no answer: nothing runs that needs a restart
            ShowAddresses();
        });
}

void CSettingDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RefreshRunningPort();
    runningPortTimer_.start();
}

void CSettingDlg::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    runningPortTimer_.stop();
}

void CSettingDlg::ShowFields() {
    torvoAgentBox_->setChecked(torvoAgentAllow_ != 0);
    anonymousBox_->setChecked(anonymousAllow_ != 0);
    portEdit_->setText(QString::number(listenPort_));
    networks_->Show(allowedNetworks_);
    ShowAddresses();
}

bool CSettingDlg::ReadFields() {
    const std::optional<int> port = ParsePort(portEdit_->text());
    // The control channel holds its port: a proxy listener there could never start.
    const bool controlPort = port && *port == MQClient::kDefaultPort;
    if (!port || controlPort) {
        ShowMessage(this,
                    controlPort ? res::Str(res::IDS_PORT_IS_CONTROL_PORT).arg(*port)
                                : res::Str(res::Ctl::PortOutOfRange),
                    res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
        portEdit_->setFocus();
        portEdit_->selectAll();
        return false;
    }
    if (const QString problem = networks_->Problem(); !problem.isEmpty()) {
        ShowMessage(this, problem, res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
        networks_->List()->setFocus();
        return false;
    }
    listenPort_ = *port;
    allowedNetworks_ = networks_->Check().stored;
    anonymousAllow_ = anonymousBox_->isChecked() ? 1 : 0;
    // The TorvoAgent box is hidden: its field keeps the loaded value.
    return true;
}

void CSettingDlg::OnSave() {
    if (!ReadFields()) return;
    SystemConf& system = SystemConf::instance();
    UserConf& users = UserConf::instance();
    system.torvoAgentAllow = torvoAgentAllow_;
    system.listenPort = static_cast<uint16_t>(listenPort_);
    users.anonymousAllow = anonymousAllow_;
    const bool systemSaved = system.save();
    const bool anonymousSaved = users.saveAnonymous();
    const bool networksSaved =
        UseDatabase([this](CppSQLite3DB& db) { SaveAllowedNetworks(db, allowedNetworks_); },
                    DbFailure::kLogError);
    if (!systemSaved || !anonymousSaved || !networksSaved) {
        ShowOperationFailed(this);
        return;
    }
    torvoAgentAllowLoaded_ = torvoAgentAllow_;
    networks_->Show(allowedNetworks_);  // as stored: one canonical network a line
    if (listenPort_ != listenPortLoaded_) {
        listenPortLoaded_ = listenPort_;
        ShowAddresses();
        ShowTip(this, res::IDS_RESTART_ENGINE_HINT);
    }
    SendApplyConf();
    if (isVisible()) RefreshRunningPort();
    ShowTip(this, res::IDS_SAVED_SUCCESSFULLY);
}

void CSettingDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CSettingDlg::Layout() {
    if (!systemGroup_ || !saveButton_ || !accountPage_ || !networks_) return;
    const int right = width() - 10, bottom = height() - 10;
    QRect system = systemGroup_->geometry();
    system.setRight(right - 1);  // QRect's right is inclusive
    systemGroup_->setGeometry(system);
    networks_->resize(system.right() - 10 - networks_->x(), networks_->height());

    QRect save = saveButton_->geometry();
    save.moveRight(width() - 20 - 1);
    saveButton_->setGeometry(save);
    PlaceAddressLine();

    QRect account = accountGroup_->geometry();
    account.setRight(right - 1);
    account.setBottom(bottom - 1);
    accountGroup_->setGeometry(account);

    accountPage_->setGeometry(QRect(QPoint(account.left() + 10, account.top() + 20),
                                    QPoint(account.right() - 10, account.bottom() - 10)));
}
