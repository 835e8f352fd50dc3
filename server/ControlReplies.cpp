#include "server/ControlReplies.h"

#include <json/writer.h>

#include <algorithm>
#include <limits>
#include <tuple>

#include "Common/ControlChannel.h"
#include "Common/DateTime.h"

namespace {

namespace key = control::key;

std::string Write(const Json::Value& root) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, root);
}

Json::Value Base(int code, const std::string& message) {
    Json::Value root(Json::objectValue);
    root[key::kErrCode] = code;
    root[key::kErrMsg] = message;
    return root;
}

// The console reads these counters as signed 32-bit numbers.
int Clamp(int64_t value) {
    return static_cast<int>(std::min<int64_t>(value, std::numeric_limits<int>::max()));
}

std::string TimeText(int64_t unixTime) {
    return DateTime::FromUnixTime(static_cast<uint32_t>(unixTime)).ToString();
}

// For replies written directly, as Json::Value would write them: a key, the envelope around the
// rows of "data".
std::string Quoted(const char* key) {
    return std::string("\"") + key + "\"";
}

std::string DataOpening() {
    return "{" + Quoted(key::kData) + ":[";
}

std::string DataClosing() {
    return "]," + Quoted(key::kErrCode) + ":0," + Quoted(key::kErrMsg) + ":\"\"}";
}

}  // namespace

std::string QuotedText(const std::string& text) {
    if (text.find('\0') == std::string::npos) return Json::valueToQuotedString(text.c_str());
    return Write(Json::Value(text));
}

std::string Envelope(const Json::Value& data) {
    Json::Value root = Base(0, "");
    root[key::kData] = data;
    return Write(root);
}

std::string ErrorReply(int code, const std::string& message) {
    return Write(Base(code, message));
}

std::string StatisticReply(const TrafficStats& stats, int64_t totalAlarms) {
    Json::Value data(Json::objectValue);
    data[key::kOnlineUsers] = stats.OnlineUsers();
    data[key::kOnlineDevices] = stats.OnlineDevices();
    data[key::kTotalAlarms] = Clamp(totalAlarms);
    data[key::kTotalIOBytes] = FormatBytes(stats.TotalBytes());
    return Envelope(data);
}

std::string SuccessReply(Json::Value root) {
    root[key::kErrCode] = 0;
    root[key::kErrMsg] = "";
    return Write(root);
}

std::string BandwidthReply(uint64_t bytesPerSecond) {
    Json::Value root(Json::objectValue);
    root[key::kBytes] = static_cast<Json::UInt>(
        std::min<uint64_t>(bytesPerSecond, std::numeric_limits<uint32_t>::max()));
    return SuccessReply(std::move(root));
}

std::string FlowRealtimeReply(const TrafficStats::LiveFlowsSnapshot& flows) {
    using Snapshot = TrafficStats::LiveFlowsSnapshot;
    static const std::string anonymous;
    const auto names = [&](const Snapshot::Row& row) {
        return std::tie((*flows.ipNames)[row.ipSlot], row.userSlot == Snapshot::kAnonymous
                                                          ? anonymous
                                                          : (*flows.userNames)[row.userSlot]);
    };
    std::vector<const Snapshot::Row*> order;
    order.reserve(flows.rows.size());
    for (const Snapshot::Row& row : flows.rows) order.push_back(&row);
    std::sort(order.begin(), order.end(), [&](const Snapshot::Row* a, const Snapshot::Row* b) {
        return names(*a) < names(*b);
    });
    // As Json::Value would write it: keys in order, no indentation.
    std::string text = DataOpening();
    const std::string rate = "{" + Quoted(key::kBytesPerSecond) + ":\"";
    const std::string connections = "/s\"," + Quoted(key::kCurrentConnections) + ":";
    const std::string ip = "," + Quoted(key::kIp) + ":";
    const std::string bytes = "," + Quoted(key::kTotalBytes) + ":\"";
    const std::string user = "\"," + Quoted(key::kUser) + ":";
    for (const Snapshot::Row* row : order) {
        const Snapshot::Row& flow = *row;
        const auto [ipName, userName] = names(flow);
        if (text.back() != '[') text += ',';
        text.append(rate)
            .append(FormatBytes(flow.bytesLastSecond))
            .append(connections)
            .append(std::to_string(flow.connections))
            .append(ip)
            .append(QuotedText(ipName))
            .append(bytes)
            .append(FormatBytes(flow.bytes))
            .append(user)
            .append(QuotedText(userName))
            .append("}");
    }
    return text + DataClosing();
}

std::string TrafficReply(const std::string& user, const std::vector<DayTraffic>& days) {
    Json::Value root(Json::objectValue);
    root[key::kUser] = user;
    Json::Value& data = root[key::kData] = Json::Value(Json::arrayValue);
    for (const DayTraffic& day : days) {
        Json::Value row(Json::objectValue);
        row[key::kDay] = day.day;
        row[key::kBytesUp] = Json::UInt64(day.bytesUp);
        row[key::kBytesDown] = Json::UInt64(day.bytesDown);
        data.append(row);
    }
    return SuccessReply(std::move(root));
}

std::string TotalsReply(const TotalsSnapshot& snapshot, const char* nameKey) {
    const std::vector<std::string>& names = *snapshot.names;
    std::vector<size_t> order;
    order.reserve(snapshot.totals.size());
    for (size_t slot = 0; slot < snapshot.totals.size(); ++slot) {
        if (!names[slot].empty()) order.push_back(slot);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return names[a] < names[b]; });
    // As Json::Value would write it: keys in order, no indentation.
    std::string text = DataOpening();
    const std::string field = "{" + Quoted(nameKey) + ":";
    const std::string time = "," + Quoted(key::kLastReportTime) + ":\"";
    const std::string bytes = "\"," + Quoted(key::kTotalBytes) + ":\"";
    for (const size_t slot : order) {
        const std::string& name = names[slot];
        const TrafficTotals& totals = snapshot.totals[slot];
        if (text.back() != '[') text += ',';
        text.append(field)
            .append(QuotedText(name))
            .append(time)
            .append(TimeText(totals.lastActive))
            .append(bytes)
            .append(FormatBytes(totals.bytes))
            .append("\"}");
    }
    return text + DataClosing();
}
