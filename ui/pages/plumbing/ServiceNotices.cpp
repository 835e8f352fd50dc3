#include "ui/pages/plumbing/ServiceNotices.h"

#include <QSystemTrayIcon>
#include <utility>

#include "ui/pages/tabs/CDashboardDlg.h"
#include "ui/res/Artwork.h"
#include "ui/res/Strings.h"

ServiceNotices::ServiceNotices(CDashboardDlg* dashboard, DesktopNotifier notifier)
    : QObject(dashboard), notifier_(std::move(notifier)), tip_(res::Str(res::IDS_MAIN_TITLE)) {
    connect(dashboard, &CDashboardDlg::EngineStateRead, this, [this](int state) {
        if (watch_.StateRead(state)) {
            Tell(res::Str(res::IDS_NOTICE_SERVER_STOPPED),
                 res::Str(res::IDS_NOTICE_SERVER_STOPPED_TEXT));
            tipSaysStopped_ = true;
        } else if (state == kServiceRunning && tipSaysStopped_) {
            SetTip(res::Str(res::IDS_MAIN_TITLE));
        }
    });
    connect(dashboard, &CDashboardDlg::AlarmCountRead, this, [this](int total) {
        if (const int added = watch_.AlarmsRead(total); added > 0) {
            Tell(res::Str(res::IDS_NOTICE_NEW_ALARMS),
                 res::Str(res::IDS_NOTICE_NEW_ALARMS_TEXT).arg(added).arg(total));
        }
    });
    connect(dashboard, &CDashboardDlg::ToggleStarted, this, [this] { watch_.ToggleStarted(); });
    connect(dashboard, &CDashboardDlg::ToggleFinished, this, [this] { watch_.ToggleFinished(); });

    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(res::ProgramIcon(), this);
    tray_->setToolTip(tip_);
    connect(tray_, &QSystemTrayIcon::activated, dashboard, [dashboard] {
        QWidget* window = dashboard->window();
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    tray_->show();
}

void ServiceNotices::Tell(const QString& title, const QString& body) {
    notifier_.Notify(title, body);
    SetTip(title + "\n" + body);
}

void ServiceNotices::SetTip(const QString& tip) {
    tip_ = tip;
    tipSaysStopped_ = false;
    if (tray_) tray_->setToolTip(tip_);
}
