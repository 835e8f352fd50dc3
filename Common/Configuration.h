#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Common/ClientNetworks.h"

class CppSQLite3DB;

// The settings of main.db: one row per key in its table "configuration" (key, value as text),
// shared by the console, the server and the command-line console. This file is their one
// home: the keys, their defaults, how a stored text is read, and how the rows are written.

namespace config_key {
inline constexpr char kListenPort[] = "listen_port";
inline constexpr char kTorvoAgentAllow[] = "torvoagent_allow";
inline constexpr char kAnonymousAllow[] = "anonymous_allow";
inline constexpr char kLanguage[] = "lang";
inline constexpr char kAllowedNetworks[] = "allowed_networks";
inline constexpr char kHistoryMaxRows[] = "history_max_rows";
inline constexpr char kAlarmsMaxRows[] = "alarms_max_rows";
inline constexpr char kDatabaseMaxMb[] = "database_max_mb";
inline constexpr char kMaxConnections[] = "max_connections";
inline constexpr char kMaxConnectionsPerIp[] = "max_connections_per_ip";
inline constexpr char kHandshakeTimeout[] = "handshake_timeout";
inline constexpr char kIdleTimeout[] = "idle_timeout";
inline constexpr char kUpstreamTimeout[] = "upstream_timeout";
inline constexpr char kResponseTimeout[] = "response_timeout";
inline constexpr char kMetricsListen[] = "metrics_listen";
inline constexpr char kMetricsPerUser[] = "metrics_per_user";
}  // namespace config_key

inline constexpr uint16_t kDefaultListenPort = 8089;

// Every setting with its documented default. Each stored text is read leniently: a value that
// does not read as the field's kind gives what the comment says, never an error.
struct Configuration {
    // The main rows: every main.db has them; a load stores the missing ones.

    // listen_port: the proxy port. Leading decimal digits, low 16 bits ("70000" is 4464); no
    // digits (or "0") read 0, which the console shows as it is and the server serves as 8089.
    uint16_t listenPort = kDefaultListenPort;
    // torvoagent_allow: the leading number as it is; 1 lets TorvoAgent clients connect.
    int32_t torvoAgentAllow = 0;
    // anonymous_allow: clients without an account are served only for the decimal number 1.
    bool anonymousAllowed = false;
    // lang: the console's language, "zh" (Simplified Chinese) or anything else (English).
    std::string language = "zh";
    // allowed_networks: the client networks the proxy port admits, joined by ",".
    std::string allowedNetworks = kDefaultClientNetworks;

    // The server's limits and its metrics page: optional rows; a missing row, or a limit that
    // is not a positive number, reads as the default.
    int64_t historyMaxRows = 1000000;  // history rows kept
    int64_t alarmsMaxRows = 100000;    // alarm rows kept
    int64_t databaseMaxMb = 512;       // pages in use by main.db (at most 2^30)
    int maxConnections = 1024;         // client connections at once
    int maxConnectionsPerIp = 0;       // per client address; 0: a quarter of max_connections
    int handshakeTimeoutSec = 10;      // first request or SOCKS5 handshake
    int idleTimeoutSec = 300;          // no byte either way on a connection
    int upstreamTimeoutSec = 30;       // resolving and connecting a destination
    int responseTimeoutSec = 300;      // an origin's response head, once the request reached it
    // Where the server serves its metrics page ("127.0.0.1:9189"; blanks around it dropped);
    // empty: nowhere.
    std::string metricsListen;
    bool metricsPerUser = false;  // exactly "1": each account's bytes of the month on it too

    // The port the server listens on: the stored one, 8089 for 0.
    uint16_t ServedPort() const { return listenPort != 0 ? listenPort : kDefaultListenPort; }
    bool TorvoAgentAllowed() const { return torvoAgentAllow == 1; }

    bool operator==(const Configuration&) const = default;
};

// Reads every row. A main row that is missing or null is first stored (delete, then insert)
// with its value in `fallback`, and its key is added to `repaired`; a missing optional row
// reads as `fallback`'s value and is not stored. Throws CppSQLite3Exception.
Configuration LoadConfiguration(CppSQLite3DB& db, const Configuration& fallback = {},
                                std::vector<std::string>* repaired = nullptr);

// Reads the rows as LoadConfiguration does (storing missing main rows with the defaults), lets
// `change` edit them and writes the rows whose value it changed, all in one transaction: a
// failure leaves every row as it was, and a row `change` leaves alone keeps its stored text,
// even if another program wrote it since the caller last read it. Returns the configuration
// as it now stands. Throws CppSQLite3Exception.
Configuration UpdateConfiguration(CppSQLite3DB& db,
                                  const std::function<void(Configuration&)>& change);

// Makes a main.db ready for use, new or older: creates the tables (kMainTablesSchema and those
// beside the accounts) where they are missing, then loads the configuration, storing the missing
// main rows from `fallback`. No existing row changes. Throws CppSQLite3Exception.
Configuration PrepareMainDb(CppSQLite3DB& db, const Configuration& fallback = {});
