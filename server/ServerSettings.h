#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "Common/AccountLimits.h"
#include "Common/ClientNetworks.h"

class CppSQLite3DB;

// One account of the proxy (a name its clients log in with), as the server checks its logins.
struct ProxyAccount {
    int64_t rowid = 0;
    std::optional<uint32_t> digest;  // nullopt: the stored text names no digest
    std::string hash;                // the strong hash (PasswordHash); empty: none stored
    AccountLimits limits;
    bool operator==(const ProxyAccount&) const = default;
    // The same credentials: its sessions may go on.
    bool SameLogin(const ProxyAccount& other) const {
        return rowid == other.rowid && digest == other.digest && hash == other.hash;
    }
};

// What the server reads from main.db: the configuration rows the console edits, the server's
// own optional limits, and the accounts (user name to digest and strong hash).
struct ServerSettings {
    uint16_t listenPort = 8089;
    bool anonymousAllowed = false;
    bool torvoagentAllowed = false;

    // Optional configuration keys (absent: these defaults).
    int64_t historyMaxRows = 1000000;  // history_max_rows
    int64_t alarmsMaxRows = 100000;    // alarms_max_rows
    int64_t databaseMaxMb = 512;       // database_max_mb: pages in use by main.db
    int maxConnections = 1024;         // max_connections
    int maxConnectionsPerIp = 0;       // max_connections_per_ip; 0: a quarter of max_connections
    int handshakeTimeoutSec = 10;      // handshake_timeout: first request or SOCKS5 handshake
    int idleTimeoutSec = 300;          // idle_timeout: no byte either way on a connection
    int upstreamTimeoutSec = 30;       // upstream_timeout: resolving and connecting a destination
    int responseTimeoutSec = 300;      // response_timeout: an origin's response head, once the
                                       // request has reached it whole

    // metrics_listen: where the metrics page is served ("127.0.0.1:9189"; empty: nowhere);
    // metrics_per_user: "1" adds each account's bytes of the month to it.
    std::string metricsListen;
    bool metricsPerUser = false;

    // allowed_networks: who may connect to the proxy port (the defaults when the row is missing).
    std::string allowedNetworksList;
    ClientNetworks allowedNetworks;

    // The first row of each user name wins, as in the console.
    std::map<std::string, ProxyAccount> accounts;
    // Bytes each account (by rowid) moved in `month` ("2026-12"), as stored when read.
    std::string month;
    std::map<int64_t, uint64_t> monthTraffic;
};

// The tables and configuration rows of main.db, as one SQL text (the project's schema file).
extern const char kMainDbSchema[];

// Creates the tables (with those beside accounts and their triggers) and the rows listen_port,
// torvoagent_allow, anonymous_allow and allowed_networks where they are missing, then reads
// everything. Throws CppSQLite3Exception.
ServerSettings LoadServerSettings(CppSQLite3DB& db);
