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

private:
    void Tell(const QString& title, const QString& body);

    NoticeWatch watch_;
    DesktopNotifier notifier_;
    QSystemTrayIcon* tray_ = nullptr;
};
