#include "ui/pages/tabs/CSettingDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <optional>

#include "Common/Configuration.h"
#include "Common/Database.h"
#include "Common/SystemConf.h"
#include "Common/UserConf.h"
#include "server_link/ListenPortRule.h"
#include "server_link/MQClient.h"
#include "server_link/Replies.h"
#include "ui/common/DialogUnits.h"
#include "ui/pages/dialogs/CAllowedNetworksDlg.h"
#include "ui/pages/models/ClientAddresses.h"
#include "ui/pages/plumbing/ApplyConf.h"
#include "ui/pages/plumbing/BackgroundRun.h"
#include "ui/pages/plumbing/LinkReplies.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/plumbing/PollWhileShown.h"
#include "ui/pages/tabs/CAccountDlg.h"

namespace {

struct DluBox {
    int x, y, w, h;
};

// Where each control sits, in dialog units; the two languages place some differently. The
// networks button ends where Save ends; the address line and Copy share Save's row.
struct Placement {
    DluBox systemGroup, accountGroup, anonymous, torvoAgent, networks, portLabel, portEdit,
        protocolHint, save;
};
constexpr Placement kEnglish{{7, 7, 306, 66},   {7, 79, 306, 114},  {16, 20, 100, 10},
                             {120, 20, 93, 10}, {205, 18, 100, 14}, {16, 42, 78, 8},
                             {104, 39, 40, 14}, {152, 41, 111, 8},  {255, 56, 50, 14}};
constexpr Placement kChinese{{7, 7, 306, 62},   {7, 75, 306, 118},  {16, 20, 100, 10},
                             {120, 20, 93, 10}, {205, 18, 100, 14}, {16, 42, 44, 8},
                             {66, 39, 40, 14},  {113, 42, 78, 8},   {255, 49, 50, 14}};
constexpr int kAddressLineDlu = 8;

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

std::optional<std::string> RunNetworksDialog(QWidget* parent,
                                             const std::optional<std::string>& stored) {
    CAllowedNetworksDlg dialog(parent, stored);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Stored();
}

}  // namespace

CSettingDlg::CSettingDlg(QWidget* parent, NetworksRunner runNetworks)
    : QWidget(parent),
      runNetworks_(runNetworks ? std::move(runNetworks) : RunNetworksDialog),
      link_(new LinkReplies(this)),
      portCheck_(new BackgroundRun(this)) {
    setObjectName("setting105");
    SystemConf& system = SystemConf::instance();
    UserConf& users = UserConf::instance();
    system.load();
    users.load();
    torvoAgentAllow_ = torvoAgentAllowLoaded_ = system.torvoAgentAllow;
    anonymousAllow_ = users.anonymousAllow;
    listenPort_ = listenPortLoaded_ = system.listenPort;
    // A failure leaves the list unknown: Save keeps the stored one and says so.
    UseDatabase(
        [this, &system](CppSQLite3DB& db) {
            allowedNetworks_ = LoadConfiguration(db, system.fallback()).allowedNetworks;
        },
        DbFailure::kLogError);

    BuildControls();
    ShowFields();
    // The TorvoAgent switch is never changed here; its stored value passes through Save.
    torvoAgentBox_->hide();
    accountPage_ = new CAccountDlg(this);
    accountPage_->show();
    setFocusProxy(anonymousBox_);
    new PollWhileShown(this, kRunningPortPeriodMs, [this] { RefreshRunningPort(); });
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
    networksButton_ = new QPushButton(res::Str(res::IDS_NETWORKS_BUTTON), this);
    networksButton_->setObjectName("allowedNetworks");
    Place(networksButton_, at.networks);
    networksButton_->resize(std::max(networksButton_->width(), networksButton_->sizeHint().width()),
                            networksButton_->height());
    connect(networksButton_, &QPushButton::clicked, this, &CSettingDlg::OnNetworks);

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

    // Created in reading order, which is the order Tab follows: the line and Copy before Save.
    addressLine_ = new QLabel(this);
    addressLine_->setObjectName("clientAddresses");
    addressLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Place(addressLine_, {16, at.save.y, 180, kAddressLineDlu});
    copyAddresses_ = new QPushButton(res::Str(res::IDS_COPY), this);
    copyAddresses_->setObjectName("copyAddresses");
    connect(copyAddresses_, &QPushButton::clicked, this, &CSettingDlg::CopyAddresses);

    saveButton_ = new QPushButton(res::Str(res::Ctl::Save), this);
    saveButton_->setObjectName("button1012");
    Place(saveButton_, at.save);
    connect(saveButton_, &QPushButton::clicked, this, [this] { OnSave(); });
}

void CSettingDlg::ShowAddresses() {
    const auto saved = static_cast<uint16_t>(listenPortLoaded_);
    const QString addresses = res::Str(res::IDS_CLIENT_ADDRESSES).arg(JoinedAddresses(saved, ", "));
    // While the running server listens elsewhere the line says so in red; Copy still copies the
    // addresses, and the tip holds both.
    const bool differs = runningPort_ && *runningPort_ != saved;
    const QString note =
        differs ? res::Str(res::IDS_RUNNING_PORT_DIFFERS).arg(*runningPort_).arg(saved) : QString();
    addressText_ = differs ? note : addresses;
    addressLine_->setToolTip(differs ? addresses + "\n" + note : addresses);
    addressLine_->setStyleSheet(differs ? QStringLiteral("color: #c00000") : QString());
    PlaceAddressLine();
}

void CSettingDlg::PlaceAddressLine() {
    // Copy is level with Save and as tall; the line is centred on them (never over the port
    // edit), ends before Copy, and Copy before Save; a long text is cut with "…" (the tip holds
    // it whole).
    const QRect save = saveButton_->geometry();
    copyAddresses_->resize(copyAddresses_->sizeHint().width(), save.height());
    const int room = std::max(save.x() - 16 - copyAddresses_->width() - 8 - addressLine_->x(), 0);
    const QFontMetrics metrics = addressLine_->fontMetrics();
    addressLine_->setText(metrics.elidedText(addressText_, Qt::ElideRight, room));
    // As tall as its text needs: CJK glyphs may reach below the font's own height.
    const int height = std::max({DluToPixels(metrics, 0, kAddressLineDlu).height(),
                                 addressLine_->sizeHint().height(), metrics.lineSpacing() + 2});
    const int top = std::max(save.center().y() - height / 2, portEdit_->geometry().bottom() + 2);
    addressLine_->setGeometry(addressLine_->x(), top,
                              std::min(addressLine_->sizeHint().width(), room), height);
    copyAddresses_->move(addressLine_->geometry().right() + 8, save.y());
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
            return ReadListenPort(body);
        },
        [this](std::optional<uint16_t> port) {
            runningPort_ = port;  // no answer: nothing runs that needs a restart
            ShowAddresses();
        });
}

void CSettingDlg::ApplyConfiguration() {
    // Its answer names the port the server listens on: no second question. Each save gets its
    // own poll, so one still waiting never swallows a later one.
    const std::string poll = "applyconf/" + std::to_string(++applyConfs_);
    link_->Ask(
        poll.c_str(),
        [] {
            std::string body;
            if (!MQClientSingleton::instance()->ApplyConf(body)) return std::optional<uint16_t>();
            return ReadListenPort(body);
        },
        [this](std::optional<uint16_t> port) {
            runningPort_ = port;
            ShowAddresses();
        });
}

void CSettingDlg::ShowFields() {
    torvoAgentBox_->setChecked(torvoAgentAllow_ != 0);
    anonymousBox_->setChecked(anonymousAllow_ != 0);
    portEdit_->setText(QString::number(listenPort_));
    ShowAddresses();
}

bool CSettingDlg::ReadFields() {
    const ListenPortCheck port = CheckListenPort(portEdit_->text().toStdString());
    if (port.problem != ListenPortProblem::kNone) {
        ShowMessage(this, QString::fromStdString(ListenPortRefusal(port, res::CurrentUiLanguage())),
                    res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
        portEdit_->setFocus();
        portEdit_->selectAll();
        return false;
    }
    listenPort_ = port.port;
    anonymousAllow_ = anonymousBox_->isChecked() ? 1 : 0;
    // The TorvoAgent box is hidden: its field keeps the loaded value.
    return true;
}

namespace {
CSettingDlg::PortHolderFinder portHolderFinder = FindPortHolder;
}  // namespace

void CSettingDlg::SetPortHolderFinder(PortHolderFinder finder) {
    portHolderFinder = finder ? finder : FindPortHolder;
}

bool CSettingDlg::PortFreeOrKept(const PortHolder& holder) {
    if (!holder.held) return true;
    const QString who = holder.who.empty() ? res::Str(res::IDS_PORT_HELD_UNKNOWN)
                                           : QString::fromStdString(holder.who);
    if (AskQuestion(this, res::Str(res::IDS_PORT_HELD).arg(listenPort_).arg(who),
                    res::Str(res::IDS_TIP_CAPTION))) {
        return true;
    }
    portEdit_->setFocus();
    portEdit_->selectAll();
    return false;
}

void CSettingDlg::OnSave() {
    if (portCheck_->UnderWay() || !ReadFields()) return;
    // Our own running server holds its port: no question for that one.
    if (listenPort_ == listenPortLoaded_ || (runningPort_ && *runningPort_ == listenPort_)) {
        SaveFields();
        return;
    }
    // Who holds the new port is found in /proc off the window thread; the save goes on when
    // the answer comes back (with the fields as they were read now).
    const auto port = static_cast<uint16_t>(listenPort_);
    const auto goOn = [this](const PortHolder& holder) {
        saveButton_->setEnabled(true);
        if (PortFreeOrKept(holder)) SaveFields();
    };
    saveButton_->setEnabled(false);
    if (!portCheck_->Read([find = portHolderFinder, port] { return find(port); }, goOn)) {
        goOn(portHolderFinder(port));  // no worker could be made
    }
}

void CSettingDlg::SaveFields() {
    SystemConf& system = SystemConf::instance();
    UserConf& users = UserConf::instance();
    system.listenPort = static_cast<uint16_t>(listenPort_);
    users.anonymousAllow = anonymousAllow_;
    // One transaction: all of it is stored or none. The TorvoAgent switch is not written, so
    // its stored value passes through; networks that could not be read stay as stored.
    const bool networksKnown = allowedNetworks_.has_value();
    const bool saved = UseDatabase(
        [&](CppSQLite3DB& db) {
            UpdateConfiguration(db, [&](Configuration& config) {
                config.listenPort = system.listenPort;
                config.anonymousAllowed = anonymousAllow_ == 1;
                if (networksKnown) config.allowedNetworks = *allowedNetworks_;
            });
        },
        DbFailure::kLogError);
    if (!saved) {
        ShowOperationFailed(this);
        return;
    }
    torvoAgentAllowLoaded_ = torvoAgentAllow_;
    if (listenPort_ != listenPortLoaded_) {
        listenPortLoaded_ = listenPort_;
        ShowAddresses();
        ShowTip(this, res::IDS_RESTART_ENGINE_HINT);
    }
    ApplyConfiguration();
    if (networksKnown) {
        ShowTip(this, res::IDS_SAVED_SUCCESSFULLY);
    } else {
        ShowTip(this, res::IDS_NETWORKS_NOT_SAVED, MessageIcon::Warning);
    }
}

void CSettingDlg::OnNetworks() {
    if (std::optional<std::string> list = runNetworks_(this, allowedNetworks_)) {
        allowedNetworks_ = std::move(list);
    }
}

void CSettingDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CSettingDlg::Layout() {
    if (!systemGroup_ || !saveButton_ || !accountPage_) return;
    const int right = width() - 10, bottom = height() - 10;
    QRect system = systemGroup_->geometry();
    system.setRight(right - 1);  // QRect's right is inclusive
    systemGroup_->setGeometry(system);

    QRect save = saveButton_->geometry();
    save.moveRight(width() - 20 - 1);
    saveButton_->setGeometry(save);
    networksButton_->move(save.right() + 1 - networksButton_->width(), networksButton_->y());
    PlaceAddressLine();

    QRect account = accountGroup_->geometry();
    account.setRight(right - 1);
    account.setBottom(bottom - 1);
    accountGroup_->setGeometry(account);

    accountPage_->setGeometry(QRect(QPoint(account.left() + 10, account.top() + 20),
                                    QPoint(account.right() - 10, account.bottom() - 10)));
}
