#pragma once
// Tells the user, once each, when the proxy service stops without the console asking and when
// new alarms arrive: a desktop notification and, where the desktop has a tray, the tray icon's
// tip. Never a message box.
#include <QObject>
#include <QString>

#include "ui/common/DesktopNotifier.h"
#include "ui/pages/models/NoticeWatch.h"

class QSystemTrayIcon;
class CDashboardDlg;

class ServiceNotices : public QObject {
public:
    // Follows what `dashboard` reads; a child of it. The tray icon (when a tray exists) raises
    // the dashboard's window when clicked.
    ServiceNotices(CDashboardDlg* dashboard, DesktopNotifier notifier = {});

    QSystemTrayIcon* TrayIcon() const { return tray_; }
    // The tray icon's tip (kept also where the desktop has no tray): the last notice, until a
    // running service makes a "stopped" notice untrue again.
    const QString& Tip() const { return tip_; }

private:
    void Tell(const QString& title, const QString& body);
    void SetTip(const QString& tip);

    NoticeWatch watch_;
    DesktopNotifier notifier_;
    QString tip_;
    bool tipSaysStopped_ = false;
    QSystemTrayIcon* tray_ = nullptr;
};
