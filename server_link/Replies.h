#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading of the server's JSON replies. Each reader takes a reply body and returns the typed
// figures, or std::nullopt when the reply is unreadable: not JSON, a root that is not an
// object, a non-zero "err_code" (where it is consulted), "data" of the wrong kind, or a value
// of a type the field cannot be read as. Missing keys read as null: 0 or an empty text.
// Nothing here throws.

struct StatisticFigures {
    int onlineUsers = 0;
    int onlineDevices = 0;
    int totalAlarms = 0;
    std::string totalIOBytes;
};

// "statistic": err_code 0 (or missing), "data" an object (or missing) with the four figures.
std::optional<StatisticFigures> ReadStatistic(std::string_view body);

// "bandwidth": the rate sample "bytes" at the root; "err_code" is not consulted.
std::optional<uint32_t> ReadBandwidth(std::string_view body);

// "system" or "applyconf" of the bundled server: the port it listens on, "data"."listen_port"
// (1 to 65535); nullopt when the reply has none (another server) or is unreadable.
std::optional<uint16_t> ReadListenPort(std::string_view body);

struct RealtimeFlowRow {
    std::string ip;
    std::string user;
    uint32_t currentConnections = 0;  // sent as a signed number, shown unsigned: -1 is 4294967295
    std::string totalBytes;
    std::string bytesPerSecond;
};

struct IpFlowRow {
    std::string ip;
    std::string totalBytes;
    std::string lastReportTime;
};

struct UserFlowRow {
    std::string user;
    std::string totalBytes;
    std::string lastReportTime;
};

// "flowrealtime", "flowip", "flowuser": err_code 0 (or missing), "data" an array of objects,
// one row per element in order. An empty array gives no rows.
std::optional<std::vector<RealtimeFlowRow>> ReadFlowRealtime(std::string_view body);
std::optional<std::vector<IpFlowRow>> ReadFlowIp(std::string_view body);
std::optional<std::vector<UserFlowRow>> ReadFlowUser(std::string_view body);

// One live client connection of a "connections" reply.
struct ConnectionRow {
    uint64_t id = 0;
    std::string ip;
    std::string user;  // "" when anonymous
    std::string protocol;
    std::string destination;
    int64_t since = 0;  // unix seconds
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
    uint64_t rate = 0;  // bytes per second
};

struct ConnectionList {
    uint64_t total = 0;  // all live connections; rows holds at most the server's row limit
    std::vector<ConnectionRow> rows;
};

// "connections": err_code 0 (or missing), "total" at the root, "data" an array of rows.
std::optional<ConnectionList> ReadConnections(std::string_view body);

// "disconnect": how many connections were closed ("closed"); nullopt on a refusal.
std::optional<uint64_t> ReadClosed(std::string_view body);

struct TrafficDay {
    std::string day;  // "YYYY-MM-DD"
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
};

// "traffic": the account's days, oldest first, as sent.
std::optional<std::vector<TrafficDay>> ReadTraffic(std::string_view body);

// The server's reason ("err_msg") when a reply refuses the command: a readable envelope whose
// "err_code" is not 0. nullopt for any other reply (a success, or nothing readable).
std::optional<std::string> ReadRefusal(std::string_view body);
