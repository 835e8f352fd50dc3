#include "ui/pages/tabs/CMonitoringSubPages.h"

#include <cstdint>

#include "server_link/MQClient.h"

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignCenter;

// The poll of one sub-page: its command on the control channel, the body read by one of the
// reply readers.
template <typename Row>
typename CPollingListPage<Row>::Fetch Poll(
    bool (MQClient::*command)(std::string&),
    std::optional<std::vector<Row>> (*read)(std::string_view)) {
    return [command, read]() -> std::optional<std::vector<Row>> {
        std::string body;
        if (!(MQClientSingleton::instance()->*command)(body)) return std::nullopt;
        return read(body);
    };
}

template <typename Row>
void Name(CPollingListPage<Row>& page, const char* pageName, const char* listName) {
    page.setObjectName(pageName);
    page.List()->setObjectName(listName);
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
    : CPollingListPage(RealtimeColumns(), Poll(&MQClient::FlowRealtime, &ReadFlowRealtime),
                       kMonitoringRefreshMs, parent) {
    Name(*this, "monitoringRealtime110", "realtimeList1005");
}

CMonitoringDeviceDlg::CMonitoringDeviceDlg(QWidget* parent)
    : CPollingListPage(DeviceColumns(), Poll(&MQClient::FlowIp, &ReadFlowIp), kMonitoringRefreshMs,
                       parent) {
    Name(*this, "monitoringDevice111", "deviceList1007");
}

CMonitoringUserDlg::CMonitoringUserDlg(QWidget* parent)
    : CPollingListPage(UserColumns(), Poll(&MQClient::FlowUser, &ReadFlowUser),
                       kMonitoringRefreshMs, parent) {
    Name(*this, "monitoringUser112", "userList1005");
}
