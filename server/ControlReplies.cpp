#include "server/ControlReplies.h"

#include <json/writer.h>

#include <algorithm>
#include <limits>

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

}  // namespace

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

std::string FlowRealtimeReply(const TrafficStats& stats) {
    Json::Value data(Json::arrayValue);
    for (const auto& [key, flow] : stats.Flows()) {
        if (flow.connections <= 0) continue;
        Json::Value row(Json::objectValue);
        row[key::kIp] = flow.ip;
        row[key::kUser] = flow.user;
        row[key::kCurrentConnections] = flow.connections;
        row[key::kTotalBytes] = FormatBytes(flow.bytes);
        row[key::kBytesPerSecond] = FormatBytes(flow.bytesLastSecond) + "/s";
        data.append(row);
    }
    return Envelope(data);
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
    const auto quoted = [](const char* text) { return std::string("\"") + text + "\""; };
    std::string text = "{" + quoted(key::kData) + ":[";
    const std::string field = "{" + quoted(nameKey) + ":";
    const std::string time = "," + quoted(key::kLastReportTime) + ":\"";
    const std::string bytes = "\"," + quoted(key::kTotalBytes) + ":\"";
    for (const size_t slot : order) {
        const std::string& name = names[slot];
        const TrafficTotals& totals = snapshot.totals[slot];
        if (text.back() != '[') text += ',';
        text.append(field)
            .append(Json::valueToQuotedString(name.c_str()))
            .append(time)
            .append(TimeText(totals.lastActive))
            .append(bytes)
            .append(FormatBytes(totals.bytes))
            .append("\"}");
    }
    return text + "]," + quoted(key::kErrCode) + ":0," + quoted(key::kErrMsg) + ":\"\"}";
}
