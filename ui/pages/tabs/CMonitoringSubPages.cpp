#include "ui/pages/tabs/CMonitoringSubPages.h"

#include <cstdint>

#include "server_link/MQClient.h"

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignCenter;

// One command on the control channel, its body read by one of the reply readers.
template <typename Record>
std::optional<std::vector<Record>> FetchRows(
    bool (MQClient::*command)(std::string&),
    std::optional<std::vector<Record>> (*read)(std::string_view)) {
    std::string body;
    if (!(MQClientSingleton::instance()->*command)(body)) return std::nullopt;
    return read(body);
}

std::vector<RecordColumn<RealtimeFlowRow>> RealtimeColumns() {
    using R = RealtimeFlowRow;
    // The count is read as a signed number and shown unsigned: -1 shows 4294967295 but
    // sorts as the smallest count.
    RecordColumn<R> connections{
        res::IDS_COL_CURRENT_CONNECTIONS, 150, kCentre,
        [](const R& r) { return QString::number(static_cast<uint32_t>(r.currentConnections)); },
        [](const R& a, const R& b) {
            return record_compare::Numeric(static_cast<int32_t>(a.currentConnections),
                                           static_cast<int32_t>(b.currentConnections));
        }};
    return {TextColumn<R>(res::IDS_COL_IP, 100, kLeft, &R::ip),
            TextColumn<R>(res::IDS_COL_USER_NAME, 150, kCentre, &R::user), connections,
            TextColumn<R>(res::IDS_COL_CURRENT_FLOW, 150, kCentre, &R::totalBytes),
            TextColumn<R>(res::IDS_COL_CURRENT_SPEED, 150, kCentre, &R::bytesPerSecond)};
}

std::vector<RecordColumn<IpFlowRow>> DeviceColumns() {
    using R = IpFlowRow;
    return {TextColumn<R>(res::IDS_COL_IP, 200, kLeft, &R::ip),
            TextColumn<R>(res::IDS_COL_TOTAL_FLOW, 200, kCentre, &R::totalBytes),
            TextColumn<R>(res::IDS_COL_LAST_ACTIVITY_TIME, 300, kCentre, &R::lastReportTime)};
}

std::vector<RecordColumn<UserFlowRow>> UserColumns() {
    using R = UserFlowRow;
    return {TextColumn<R>(res::IDS_COL_USER_NAME, 100, kLeft, &R::user),
            TextColumn<R>(res::IDS_COL_TOTAL_FLOW, 200, kCentre, &R::totalBytes),
            TextColumn<R>(res::IDS_COL_LAST_ACTIVITY_TIME, 300, kCentre, &R::lastReportTime)};
}

}  // namespace

CMonitoringRealtimeDlg::CMonitoringRealtimeDlg(QWidget* parent)
    : CPollingListPage(
          RealtimeColumns(),
          [] { return FetchRows<RealtimeFlowRow>(&MQClient::FlowRealtime, &ReadFlowRealtime); },
          kMonitoringRefreshMs, parent) {
    setObjectName("monitoringRealtime110");
    List()->setObjectName("realtimeList1005");
}

CMonitoringDeviceDlg::CMonitoringDeviceDlg(QWidget* parent)
    : CPollingListPage(
          DeviceColumns(), [] { return FetchRows<IpFlowRow>(&MQClient::FlowIp, &ReadFlowIp); },
          kMonitoringRefreshMs, parent) {
    setObjectName("monitoringDevice111");
    List()->setObjectName("deviceList1007");
}

CMonitoringUserDlg::CMonitoringUserDlg(QWidget* parent)
    : CPollingListPage(
          UserColumns(), [] { return FetchRows<UserFlowRow>(&MQClient::FlowUser, &ReadFlowUser); },
          kMonitoringRefreshMs, parent) {
    setObjectName("monitoringUser112");
    List()->setObjectName("userList1005");
}
