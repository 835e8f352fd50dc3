// The console, started as usual, photographs itself for the documentation and ends:
//   TORVO_SCREENSHOT_DIR=<dir> ./console_screenshots
// writes <dir>/<lang>-0-dashboard-server.png (the dashboard alone), <lang>-1-monitoring.png ...
// -4-logs.png, <lang>-4-logs-copy.png (a row selected, the list's context menu),
// <lang>-5-language-menu.png, <lang>-6-about.png, <lang>-7-add-account.png,
// <lang>-8-smallest-window.png, <lang>-9-account-limits.png, <lang>-10-allowed-networks.png
// (a mistyped entry and its hint), <lang>-11-start-failed.png, <lang>-12-connections.png (the
// live connections with a row's context menu) and <lang>-13-account-traffic.png (bob's traffic
// per day) (lang "en" or "zh", the console's language), grabbed from the screen. The last two
// show rows the tour gives, not the server's.
#include <glog/logging.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Common/SystemConf.h"
#include "Common/UserConf.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceState.h"
#include "ui/CAboutDlg.h"
#include "ui/CMainUIApp.h"
#include "ui/CMainUIDlg.h"
#include "ui/CTabControl.h"
#include "ui/ConsoleLogging.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/dialogs/CAccountLimitsDlg.h"
#include "ui/pages/dialogs/CAddAccountDlg.h"
#include "ui/pages/dialogs/CAllowedNetworksDlg.h"
#include "ui/pages/tabs/CAccountDlg.h"
#include "ui/pages/tabs/CDashboardDlg.h"
#include "ui/pages/tabs/CMonitoringConnectionsDlg.h"
#include "ui/pages/tabs/CMonitoringDlg.h"
#include "ui/pages/tabs/CRecordPage.h"
#include "ui/pages/tabs/CSettingDlg.h"
#include "ui/pages/widgets/AllowedNetworksEdit.h"
#include "ui/res/Strings.h"

namespace {

constexpr int kSettleMs = 1500;  // lets pages poll and paint before each picture
constexpr uint32_t kServiceLimitMs = 10000;

// Installs the proxy service when it is missing and starts it.
void StartServer() {
    ProxyCtrl ctrl;
    for (int i = 0; i < 2 && ctrl.QueryStatus() != kServiceRunning; ++i) {
        if (!ctrl.Toggle(kServiceLimitMs)) LOG(ERROR) << "cannot install or start the server";
    }
}

void StopServer() {
    ProxyCtrl ctrl;
    if (ctrl.QueryStatus() == kServiceRunning) ctrl.Toggle(kServiceLimitMs);
}

// Another program's listener on a port, for the failed start.
class PortTaker {
public:
    explicit PortTaker(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 1) != 0) {
            LOG(ERROR) << "cannot take port " << port;
        }
    }
    ~PortTaker() { ::close(fd_); }
    PortTaker(const PortTaker&) = delete;
    PortTaker& operator=(const PortTaker&) = delete;

private:
    int fd_;
};

// Connections as a busy office has them, started `ago` seconds before now.
ConnectionList SampleConnections() {
    const int64_t now = std::time(nullptr);
    struct Sample {
        const char *user, *ip, *protocol, *destination;
        int64_t ago;
        uint64_t up, down, rate;
    };
    const Sample samples[] = {
        {"bob", "192.168.1.23", "connect", "download.example.org:443", 95, 81920, 48234496,
         2457600},
        {"alice", "192.168.1.17", "connect", "video.example.com:443", 620, 204800, 31457280,
         1048576},
        {"", "192.168.1.40", "http", "updates.example.net:80", 12, 2048, 5242880, 419430},
        {"张伟", "192.168.1.31", "socks5", "10.20.0.5:22", 3400, 1572864, 786432, 5120},
        {"alice", "192.168.1.17", "connect", "mail.example.com:993", 5400, 40960, 368640, 310},
        {"o'brien", "10.8.0.6", "http", "intranet.example:8080", 41, 6144, 90112, 120},
        {"bob", "192.168.1.23", "socks5", "chat.example.org:5222", 7100, 12288, 20480, 0},
    };
    ConnectionList list;
    uint64_t id = 4100;
    for (const Sample& s : samples) {
        list.rows.push_back(
            {++id, s.ip, s.user, s.protocol, s.destination, now - s.ago, s.up, s.down, s.rate});
    }
    list.total = list.rows.size();
    return list;
}

// Thirty days of an account that works on weekdays, a few quiet days among them.
std::vector<TrafficDay> SampleTrafficDays() {
    std::vector<TrafficDay> days;
    const QDate today = QDate::currentDate();
    for (int ago = 29; ago >= 0; --ago) {
        const QDate day = today.addDays(-ago);
        if (day.dayOfWeek() > 5 || ago == 11) continue;  // weekends and a day off: no row
        const uint64_t mb = 180 + static_cast<uint64_t>((ago * 37) % 11) * 45 + (ago < 5 ? 260 : 0);
        days.push_back({day.toString("yyyy-MM-dd").toStdString(), mb << 17, mb << 20});
    }
    return days;
}

class Tour {
public:
    Tour(CMainUIDlg& dlg, QString dir, bool stopServer)
        : dlg_(dlg), dir_(std::move(dir)), stopServer_(stopServer) {
        prefix_ = res::CurrentUiLanguage() == res::UiLanguage::Chinese ? "zh" : "en";
        steps_.push_back([this] {
            dlg_.Tabs()->Bar()->setCurrentIndex(0);
            Later([this] {
                const QWidget* dashboard = dlg_.Dashboard();
                Grab(QRect(dashboard->mapToGlobal(QPoint(0, 0)), dashboard->size()),
                     "0-dashboard-server");
            });
        });
        const char* tabs[] = {"1-monitoring", "2-setting", "3-alarm", "4-logs"};
        for (int i = 0; i < CMainUIDlg::kPageCount; ++i) {
            steps_.push_back([this, i, name = QString(tabs[i])] {
                dlg_.Tabs()->Bar()->setCurrentIndex(i);
                // The record pages read what the traffic meanwhile recorded.
                if (auto* records = dynamic_cast<CRecordPage*>(dlg_.Page(i)))
                    records->RefreshAction()->trigger();
                Later([this, name] { Grab(dlg_.frameGeometry(), name); });
            });
        }
        // The Logs tab with a row selected and the list's context menu ("Copy").
        steps_.push_back([this] {
            PhotographListMenu(dlg_.Page(3)->findChild<RecordListView*>(), 2, 1, "4-logs-copy");
        });
        // The live connections, a row of alice selected and its context menu.
        steps_.push_back([this] {
            dlg_.Tabs()->Bar()->setCurrentIndex(0);
            auto* monitoring = static_cast<CMonitoringDlg*>(dlg_.Page(0));
            CMonitoringConnectionsDlg* connections = monitoring->Connections();
            connections->SetFetch([] { return std::optional(SampleConnections()); });
            monitoring->ShowPage(3);
            connections->Refresh();
            Later([] {});
        });
        steps_.push_back([this] {
            auto* monitoring = static_cast<CMonitoringDlg*>(dlg_.Page(0));
            PhotographListMenu(monitoring->Connections()->List(), 1, 1, "12-connections",
                               [monitoring] { monitoring->ShowPage(0); });
        });
        // bob's traffic per day under the account list.
        steps_.push_back([this] {
            CAccountDlg::SetTrafficReader([](const std::string& account) {
                return std::optional(account == "bob" ? SampleTrafficDays()
                                                      : std::vector<TrafficDay>{});
            });
            dlg_.Tabs()->Bar()->setCurrentIndex(1);
            CAccountDlg* accounts = static_cast<CSettingDlg*>(dlg_.Page(1))->AccountPage();
            const auto& rows = accounts->Model().Rows();
            for (int r = 0; r < static_cast<int>(rows.size()); ++r)
                if (rows[r].userName == "bob") accounts->List()->selectRow(r);
            Later([this] { Grab(dlg_.frameGeometry(), "13-account-traffic"); });
        });
        steps_.push_back([this] {
            QAction* popup = dlg_.MenuBar()->actions().value(1);
            dlg_.MenuBar()->setActiveAction(popup);
            Later([this, popup] {
                Grab(dlg_.frameGeometry().united(popup->menu()->geometry()), "5-language-menu");
                popup->menu()->close();
                dlg_.MenuBar()->setActiveAction(nullptr);
            });
        });
        steps_.push_back([this] {
            dlg_.Tabs()->Bar()->setCurrentIndex(1);
            account_ = std::make_unique<CAddAccountDlg>(&dlg_, CAddAccountDlg::Purpose::Add,
                                                        res::Str(res::IDS_ADD_ACCOUNT));
            account_->UserNameEdit()->setText(QStringLiteral("carol"));
            account_->PasswordEdit()->setText(QStringLiteral("secret"));
            account_->show();
            Later([this] {
                Grab(account_->frameGeometry(), "7-add-account");
                account_.reset();
            });
        });
        steps_.push_back([this] {
            const auto& accounts = UserConf::instance().accounts;
            const auto bob = accounts.find("bob");
            limits_ = std::make_unique<CAccountLimitsDlg>(
                &dlg_, "bob", bob == accounts.end() ? AccountLimits{} : bob->second.limits);
            limits_->show();
            Later([this] {
                Grab(limits_->frameGeometry(), "9-account-limits");
                limits_.reset();
            });
        });
        steps_.push_back([this] {
            networks_ = std::make_unique<CAllowedNetworksDlg>(
                &dlg_, std::string("127.0.0.0/8,::1/128,192.168.0.0/16"));
            networks_->Networks()->List()->appendPlainText(QStringLiteral("10.1.2.3/8"));
            networks_->show();
            Later([this] {
                Grab(networks_->frameGeometry(), "10-allowed-networks");
                networks_.reset();
            });
        });
        steps_.push_back([this] {
            about_ = std::make_unique<CAboutDlg>(&dlg_);
            about_->show();
            Later([this] {
                Grab(about_->frameGeometry(), "6-about");
                about_.reset();  // a child of the window: gone before the window is
            });
        });
        // A start that fails: the server is stopped, another program takes its port, and the
        // engine button's start tells why.
        steps_.push_back([this] {
            dlg_.Tabs()->Bar()->setCurrentIndex(1);
            StopServer();
            portHolder_ = std::make_unique<PortTaker>(SystemConf::instance().listenPort);
            QTimer::singleShot(0, &dlg_, [this] {
                static_cast<CDashboardDlg*>(dlg_.Dashboard())->EngineButton()->click();
            });
            // The page tells why once the busy box has closed.
            Later(
                [this] {
                    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                        Grab(dlg_.frameGeometry().united(box->frameGeometry()), "11-start-failed");
                        box->accept();
                    }
                    portHolder_.reset();
                },
                kSettleMs + 3000);
        });
        // The whole window at its smallest size.
        steps_.push_back([this] {
            dlg_.Tabs()->Bar()->setCurrentIndex(1);
            dlg_.resize(dlg_.minimumSize());
            Later([this] { Grab(dlg_.frameGeometry(), "8-smallest-window"); });
        });
    }

    void Start() { Next(); }

private:
    // Selects a row of the list, opens its context menu over a cell and photographs both.
    void PhotographListMenu(
        RecordListView* list, int row, int column, const QString& name,
        std::function<void()> after = [] {}) {
        list->selectRow(row);
        list->setFocus();
        const QPoint at = list->viewport()->mapToGlobal(
            list->visualRect(list->model()->index(row, column)).center());
        menu_ = std::make_unique<QMenu>();
        menu_->addActions(list->actions());
        menu_->popup(at);
        Later([this, name, after] {
            Grab(dlg_.frameGeometry().united(menu_->geometry()), name);
            menu_.reset();
            after();
        });
    }

    void Later(std::function<void()> then, int afterMs = kSettleMs) {
        QTimer::singleShot(afterMs, &dlg_, [this, then] {
            then();
            Next();
        });
    }

    void Next() {
        if (step_ >= steps_.size()) {
            if (stopServer_) StopServer();
            dlg_.close();
            return;
        }
        steps_[step_++]();
    }

    void Grab(const QRect& area, const QString& name) {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const QString path = dir_ + "/" + prefix_ + "-" + name + ".png";
        if (!shot.save(path)) LOG(ERROR) << "cannot write " << path.toStdString();
    }

    CMainUIDlg& dlg_;
    QString dir_, prefix_;
    bool stopServer_;
    std::vector<std::function<void()>> steps_;
    std::size_t step_ = 0;
    std::unique_ptr<CAboutDlg> about_;
    std::unique_ptr<CAddAccountDlg> account_;
    std::unique_ptr<CAccountLimitsDlg> limits_;
    std::unique_ptr<CAllowedNetworksDlg> networks_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<PortTaker> portHolder_;
};

}  // namespace

int main(int argc, char** argv) {
    SetUpConsoleLogging(argv[0]);
    CMainUIApp app(argc, argv);
    const QString dir = qEnvironmentVariable("TORVO_SCREENSHOT_DIR", QDir::currentPath());
    // With TORVO_SCREENSHOT_SERVER=1 the proxy service is installed and started first, and the
    // tour waits TORVO_SCREENSHOT_WARMUP_MS (traffic fills the chart) and stops it at the end.
    const bool withServer = qEnvironmentVariableIntValue("TORVO_SCREENSHOT_SERVER") == 1;
    const int warmupMs = qEnvironmentVariableIntValue("TORVO_SCREENSHOT_WARMUP_MS");
    std::unique_ptr<Tour> tour;
    app.SetMainWindowShownHook([&](CMainUIDlg& dlg) {
        if (withServer) StartServer();
        tour = std::make_unique<Tour>(dlg, dir, withServer);
        QTimer::singleShot(kSettleMs + warmupMs, &dlg, [&] { tour->Start(); });
    });
    app.InitInstance();
    return 0;
}
