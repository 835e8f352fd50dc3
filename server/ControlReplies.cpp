#include "server/ControlReplies.h"

#include <json/writer.h>

#include <limits>

#include "Common/DateTime.h"

namespace {

std::string Write(const Json::Value& root) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, root);
}

Json::Value Base(int code, const std::string& message) {
    Json::Value root(Json::objectValue);
    root["err_code"] = code;
    root["err_msg"] = message;
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
    root["data"] = data;
    return Write(root);
}

std::string ErrorReply(int code, const std::string& message) {
    return Write(Base(code, message));
}

std::string StatisticReply(const TrafficStats& stats, int64_t totalAlarms) {
    Json::Value data(Json::objectValue);
    data["onlineUsers"] = stats.OnlineUsers();
    data["onlineDevices"] = stats.OnlineDevices();
    data["totalAlarms"] = Clamp(totalAlarms);
    data["totalIOBytes"] = FormatBytes(stats.TotalBytes());
    return Envelope(data);
}

std::string BandwidthReply(uint64_t bytesPerSecond) {
    Json::Value root = Base(0, "");
    root["bytes"] = static_cast<Json::UInt>(
        std::min<uint64_t>(bytesPerSecond, std::numeric_limits<uint32_t>::max()));
    return Write(root);
}

std::string FlowRealtimeReply(const TrafficStats& stats) {
    Json::Value data(Json::arrayValue);
    for (const auto& [key, flow] : stats.Flows()) {
        if (flow.connections <= 0) continue;
        Json::Value row(Json::objectValue);
        row["ip"] = flow.ip;
        row["user"] = flow.user;
        row["current_connections"] = flow.connections;
        row["total_bytes"] = FormatBytes(flow.bytes);
        row["bytes_persecond"] = FormatBytes(flow.bytesLastSecond) + "/s";
        data.append(row);
    }
    return Envelope(data);
}

TotalsSnapshot SnapshotTotals(const std::map<std::string, TrafficStats::Totals>& totals) {
    return TotalsSnapshot(totals.begin(), totals.end());
}

std::string TotalsReply(const TotalsSnapshot& rows, const char* key) {
    // As Json::Value would write it: keys in order, no indentation.
    std::string text = "{\"data\":[";
    const std::string field = std::string("{\"") + key + "\":";
    for (const auto& [name, totals] : rows) {
        if (text.back() != '[') text += ',';
        text.append(field)
            .append(Json::valueToQuotedString(name.c_str()))
            .append(",\"last_report_time\":\"")
            .append(TimeText(totals.lastActive))
            .append("\",\"total_bytes\":\"")
            .append(FormatBytes(totals.bytes))
            .append("\"}");
    }
    return text + "],\"err_code\":0,\"err_msg\":\"\"}";
}
