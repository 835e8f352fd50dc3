#pragma once
// The monitoring page: a tab strip on the left with the realtime, device and user lists and
// the live connections.
#include <QWidget>

class QTabWidget;
class CMonitoringRealtimeDlg;
class CMonitoringDeviceDlg;
class CMonitoringUserDlg;
class CMonitoringConnectionsDlg;

class CMonitoringDlg : public QWidget {
    Q_OBJECT
public:
    // Creates the sub-pages: the three lists refresh at once and then every 10 s, the
    // connections every 2 s while they are shown.
    explicit CMonitoringDlg(QWidget* parent);

    // Shows the sub-page of a tab (0 realtime, 1 device, 2 user, 3 connections) and gives it
    // the focus.
    void ShowPage(int index);

    QTabWidget* Tabs() const { return tabs_; }
    CMonitoringRealtimeDlg* Realtime() const { return realtime_; }
    CMonitoringDeviceDlg* Device() const { return device_; }
    CMonitoringUserDlg* User() const { return user_; }
    CMonitoringConnectionsDlg* Connections() const { return connections_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabWidget* tabs_;
    CMonitoringRealtimeDlg* realtime_;
    CMonitoringDeviceDlg* device_;
    CMonitoringUserDlg* user_;
    CMonitoringConnectionsDlg* connections_;
};
