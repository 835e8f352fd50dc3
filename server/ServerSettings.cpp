#include "server/ServerSettings.h"

#include <glog/logging.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "Common/AccountPasswords.h"
#include "Common/AllowedNetworks.h"
#include "Common/CppSQLite3DB.h"
#include "Common/PasswordDigest.h"

namespace {

constexpr int kNull = 5;  // storage class of a missing row

// The stored text of a key, inserting `fallback` when the row is missing or null.
std::string ReadOrCreate(CppSQLite3DB& db, const char* key, const char* fallback) {
    auto query = db.execQuery("select value from configuration where key=?", {key});
    if (query.fieldDataType(0) != kNull) return query.getStringField(0);
    query.finalize();
    db.execDML("delete from configuration where key=?", {key});
    db.execDML("insert into configuration (key, value) values (?, ?)", {key, fallback});
    return fallback;
}

// A positive number stored under `key`, else `fallback`.
int64_t ReadLimit(CppSQLite3DB& db, const char* key, int64_t fallback) {
    auto query = db.execQuery("select value from configuration where key=?", {key});
    if (query.fieldDataType(0) == kNull) return fallback;
    const long long value = std::strtoll(query.getStringField(0), nullptr, 10);
    return value > 0 ? value : fallback;
}

// The stored text of `key` without surrounding blanks; empty when the row is missing.
std::string ReadText(CppSQLite3DB& db, const char* key) {
    auto query = db.execQuery("select value from configuration where key=?", {key});
    if (query.fieldDataType(0) == kNull) return {};
    std::string text = query.getStringField(0);
    const size_t first = text.find_first_not_of(" \t\r\n");
    const size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

ServerSettings LoadServerSettings(CppSQLite3DB& db) {
    db.execDML(kMainDbSchema);
    EnsureAccountPasswords(db);
    EnsureAccountLimits(db);
    ServerSettings settings;
    // Read as the console reads them: leading digits, low 16 bits for the port, exactly "1"
    // for the switches.
    const auto port = static_cast<uint16_t>(
        std::strtoul(ReadOrCreate(db, "listen_port", "8089").c_str(), nullptr, 10));
    settings.listenPort = port != 0 ? port : 8089;
    settings.torvoagentAllowed = std::atoi(ReadOrCreate(db, "torvoagent_allow", "0").c_str()) == 1;
    settings.anonymousAllowed = std::atoi(ReadOrCreate(db, "anonymous_allow", "0").c_str()) == 1;

    settings.historyMaxRows = ReadLimit(db, "history_max_rows", settings.historyMaxRows);
    settings.alarmsMaxRows = ReadLimit(db, "alarms_max_rows", settings.alarmsMaxRows);
    settings.databaseMaxMb =
        std::min<int64_t>(ReadLimit(db, "database_max_mb", settings.databaseMaxMb), 1 << 30);
    settings.maxConnections =
        static_cast<int>(ReadLimit(db, "max_connections", settings.maxConnections));
    settings.maxConnectionsPerIp =
        static_cast<int>(ReadLimit(db, "max_connections_per_ip", settings.maxConnectionsPerIp));
    settings.handshakeTimeoutSec =
        static_cast<int>(ReadLimit(db, "handshake_timeout", settings.handshakeTimeoutSec));
    settings.idleTimeoutSec =
        static_cast<int>(ReadLimit(db, "idle_timeout", settings.idleTimeoutSec));
    settings.upstreamTimeoutSec =
        static_cast<int>(ReadLimit(db, "upstream_timeout", settings.upstreamTimeoutSec));
    settings.responseTimeoutSec =
        static_cast<int>(ReadLimit(db, "response_timeout", settings.responseTimeoutSec));

    settings.metricsListen = ReadText(db, "metrics_listen");
    settings.metricsPerUser = ReadText(db, "metrics_per_user") == "1";

    settings.allowedNetworksList = LoadAllowedNetworks(db);
    settings.allowedNetworks = ClientNetworks(settings.allowedNetworksList);
    for (const std::string& entry : SplitNetworkList(settings.allowedNetworksList)) {
        const auto problem = ParseClientNetwork(entry).problem;
        if (problem != NetworkProblem::kNone && problem != NetworkProblem::kHostBits) {
            LOG(WARNING) << "allowed_networks: \"" << entry << "\" is not a network; skipped";
        }
    }
    if (settings.allowedNetworks.Empty()) {
        LOG(WARNING) << "allowed_networks allows no network: every client is turned away";
    }

    const auto limits = ReadAccountLimits(db);
    for (auto query =
             db.execQuery("select a.rowid, a.username, a.password, p.hash from accounts a "
                          "left join account_passwords p on p.account = a.rowid order by a.rowid");
         !query.eof(); query.nextRow()) {
        const int64_t rowid = query.getInt64Field(0);
        const auto limit = limits.find(rowid);
        settings.accounts.try_emplace(
            query.getStringField(1),
            ProxyAccount{rowid, ParseStoredDigest(query.getStringField(2)), query.getStringField(3),
                         limit == limits.end() ? AccountLimits{} : limit->second});
    }
    settings.month = TrafficMonth(std::time(nullptr));
    settings.monthTraffic = ReadMonthTraffic(db, settings.month);
    return settings;
}
