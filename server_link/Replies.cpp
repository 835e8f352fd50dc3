#include "server_link/Replies.h"

#include <json/json.h>

#include <algorithm>

#include "Common/ControlChannel.h"

namespace {

namespace key = control::key;

// Parses with jsoncpp's classic reader in its default mode; only an object root is readable.
std::optional<Json::Value> ParseObject(std::string_view body) {
    Json::Value root;
    Json::Reader reader;
    if (!reader.parse(body.data(), body.data() + body.size(), root, false)) return std::nullopt;
    if (!root.isObject()) return std::nullopt;
    return root;
}

// Field readers: nullopt when jsoncpp would refuse the conversion (it throws then).
// A missing key is a null value, which every conversion accepts.
std::optional<std::string> Text(const Json::Value& object, const char* key) {
    const Json::Value& value = object[key];
    if (!value.isConvertibleTo(Json::stringValue)) return std::nullopt;
    return value.asString();
}

std::optional<int> Int(const Json::Value& object, const char* key) {
    const Json::Value& value = object[key];
    if (!value.isConvertibleTo(Json::intValue)) return std::nullopt;
    return value.asInt();
}

std::optional<uint32_t> UInt(const Json::Value& object, const char* key) {
    const Json::Value& value = object[key];
    if (!value.isConvertibleTo(Json::uintValue)) return std::nullopt;
    return value.asUInt();
}

std::optional<uint64_t> UInt64(const Json::Value& object, const char* key) {
    const Json::Value& value = object[key];
    if (value.isNull()) return 0;
    if (!value.isUInt64() &&
        !(value.isDouble() && value.asDouble() >= 0 && value.asDouble() < 18446744073709551616.0)) {
        return std::nullopt;
    }
    return value.asUInt64();
}

std::optional<int64_t> Int64(const Json::Value& object, const char* key) {
    const Json::Value& value = object[key];
    if (value.isNull()) return 0;
    if (!value.isInt64()) return std::nullopt;
    return value.asInt64();
}

// The envelope: "err_code" must read as 0 (missing counts as 0).
bool Succeeded(const Json::Value& root) {
    const std::optional<int> code = Int(root, key::kErrCode);
    return code && *code == 0;
}

// A successful reply's "data", an array of objects, each read by `readRow`.
template <typename Row, typename ReadRow>
std::optional<std::vector<Row>> RowsOf(const Json::Value& root, ReadRow readRow) {
    if (!Succeeded(root)) return std::nullopt;
    const Json::Value& data = root[key::kData];
    if (!data.isArray()) return std::nullopt;
    std::vector<Row> rows;
    rows.reserve(data.size());
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
        const Json::Value& element = data[i];
        if (!element.isObject()) return std::nullopt;
        std::optional<Row> row = readRow(element);
        if (!row) return std::nullopt;
        rows.push_back(std::move(*row));
    }
    return rows;
}

template <typename Row, typename ReadRow>
std::optional<std::vector<Row>> ReadRows(std::string_view body, ReadRow readRow) {
    const std::optional<Json::Value> root = ParseObject(body);
    if (!root) return std::nullopt;
    return RowsOf<Row>(*root, readRow);
}

// Runs a reader so that no jsoncpp exception can escape; one is read as "unreadable".
template <typename Reader>
auto Guarded(Reader read) -> decltype(read()) {
    try {
        return read();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The two statistics lists share one shape: a name column, then total and last report time.
template <typename Row, std::string Row::*Name>
std::optional<std::vector<Row>> ReadNamedFlow(std::string_view body, const char* nameKey) {
    return Guarded([&] {
        return ReadRows<Row>(body, [nameKey](const Json::Value& element) -> std::optional<Row> {
            auto name = Text(element, nameKey);
            auto total = Text(element, key::kTotalBytes);
            auto time = Text(element, key::kLastReportTime);
            if (!name || !total || !time) return std::nullopt;
            Row row;
            row.*Name = std::move(*name);
            row.totalBytes = std::move(*total);
            row.lastReportTime = std::move(*time);
            return row;
        });
    });
}

}  // namespace

std::optional<StatisticFigures> ReadStatistic(std::string_view body) {
    return Guarded([&]() -> std::optional<StatisticFigures> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root || !Succeeded(*root)) return std::nullopt;
        const Json::Value& data = (*root)[key::kData];
        if (!data.isNull() && !data.isObject()) return std::nullopt;
        const auto users = Int(data, key::kOnlineUsers);
        const auto devices = Int(data, key::kOnlineDevices);
        const auto alarms = Int(data, key::kTotalAlarms);
        auto io = Text(data, key::kTotalIOBytes);
        if (!users || !devices || !alarms || !io) return std::nullopt;
        return StatisticFigures{*users, *devices, *alarms, std::move(*io)};
    });
}

std::optional<uint32_t> ReadBandwidth(std::string_view body) {
    return Guarded([&]() -> std::optional<uint32_t> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root) return std::nullopt;
        return UInt(*root, key::kBytes);
    });
}

std::optional<uint16_t> ReadListenPort(std::string_view body) {
    return Guarded([&]() -> std::optional<uint16_t> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root || !Succeeded(*root) || !(*root)[key::kData].isObject()) return std::nullopt;
        const std::optional<uint32_t> port = UInt((*root)[key::kData], key::kListenPort);
        if (!port || *port == 0 || *port > 65535) return std::nullopt;
        return static_cast<uint16_t>(*port);
    });
}

std::optional<std::vector<RealtimeFlowRow>> ReadFlowRealtime(std::string_view body) {
    return Guarded([&] {
        return ReadRows<RealtimeFlowRow>(
            body, [](const Json::Value& element) -> std::optional<RealtimeFlowRow> {
                auto ip = Text(element, key::kIp);
                auto user = Text(element, key::kUser);
                const auto connections = Int(element, key::kCurrentConnections);
                auto total = Text(element, key::kTotalBytes);
                auto rate = Text(element, key::kBytesPerSecond);
                if (!ip || !user || !connections || !total || !rate) return std::nullopt;
                return RealtimeFlowRow{std::move(*ip), std::move(*user),
                                       static_cast<uint32_t>(*connections), std::move(*total),
                                       std::move(*rate)};
            });
    });
}

std::optional<std::vector<IpFlowRow>> ReadFlowIp(std::string_view body) {
    return ReadNamedFlow<IpFlowRow, &IpFlowRow::ip>(body, key::kIp);
}

std::optional<std::vector<UserFlowRow>> ReadFlowUser(std::string_view body) {
    return ReadNamedFlow<UserFlowRow, &UserFlowRow::user>(body, key::kUser);
}

std::optional<ConnectionList> ReadConnections(std::string_view body) {
    return Guarded([&]() -> std::optional<ConnectionList> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root) return std::nullopt;
        auto rows = RowsOf<ConnectionRow>(
            *root, [](const Json::Value& element) -> std::optional<ConnectionRow> {
                const auto id = UInt64(element, key::kId);
                auto ip = Text(element, key::kIp);
                auto user = Text(element, key::kUser);
                auto protocol = Text(element, key::kProtocol);
                auto destination = Text(element, key::kDestination);
                const auto since = Int64(element, key::kSince);
                const auto up = UInt64(element, key::kBytesUp);
                const auto down = UInt64(element, key::kBytesDown);
                const auto rate = UInt64(element, key::kRate);
                if (!id || !ip || !user || !protocol || !destination || !since || !up || !down ||
                    !rate) {
                    return std::nullopt;
                }
                return ConnectionRow{*id,
                                     std::move(*ip),
                                     std::move(*user),
                                     std::move(*protocol),
                                     std::move(*destination),
                                     *since,
                                     *up,
                                     *down,
                                     *rate};
            });
        if (!rows) return std::nullopt;
        const auto total = UInt64(*root, key::kTotal);
        if (!total) return std::nullopt;
        // A server that counts fewer than it lists is read by its rows.
        return ConnectionList{std::max<uint64_t>(*total, rows->size()), std::move(*rows)};
    });
}

std::optional<uint64_t> ReadClosed(std::string_view body) {
    return Guarded([&]() -> std::optional<uint64_t> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root || !Succeeded(*root)) return std::nullopt;
        return UInt64(*root, key::kClosed);
    });
}

std::optional<std::vector<TrafficDay>> ReadTraffic(std::string_view body) {
    return Guarded([&] {
        return ReadRows<TrafficDay>(body,
                                    [](const Json::Value& element) -> std::optional<TrafficDay> {
                                        auto day = Text(element, key::kDay);
                                        const auto up = UInt64(element, key::kBytesUp);
                                        const auto down = UInt64(element, key::kBytesDown);
                                        if (!day || !up || !down) return std::nullopt;
                                        return TrafficDay{std::move(*day), *up, *down};
                                    });
    });
}

std::optional<std::string> ReadRefusal(std::string_view body) {
    return Guarded([&]() -> std::optional<std::string> {
        const std::optional<Json::Value> root = ParseObject(body);
        if (!root || Succeeded(*root) || !Int(*root, key::kErrCode)) return std::nullopt;
        return Text(*root, key::kErrMsg).value_or("");
    });
}
