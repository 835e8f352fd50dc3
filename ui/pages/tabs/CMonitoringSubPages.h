#pragma once
// The three monitoring sub-pages: live flows per client address and user, traffic per
// device, traffic per proxy user. Each polls its control-channel command every 10 s.
#include "server_link/Replies.h"
#include "ui/pages/tabs/PollingListPage.h"

inline constexpr int kMonitoringRefreshMs = 10000;

class CMonitoringRealtimeDlg : public CPollingListPage<RealtimeFlowRow> {
    Q_OBJECT
public:
    explicit CMonitoringRealtimeDlg(QWidget* parent);
};

class CMonitoringDeviceDlg : public CPollingListPage<IpFlowRow> {
    Q_OBJECT
public:
    explicit CMonitoringDeviceDlg(QWidget* parent);
};

class CMonitoringUserDlg : public CPollingListPage<UserFlowRow> {
    Q_OBJECT
public:
    explicit CMonitoringUserDlg(QWidget* parent);
};
