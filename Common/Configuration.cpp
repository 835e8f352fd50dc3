#include "Common/Configuration.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>
#include <type_traits>

#include "Common/CppSQLite3DB.h"
#include "Common/MainTables.h"
#include "Common/Transaction.h"

namespace {

// Leading decimal digits (after blanks and a sign), the C atoi way; no digits give 0. The
// number wraps at 32 bits; callers keep the bits they store.
uint32_t LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    uint32_t number = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        number = number * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return negative ? 0u - number : number;
}

// Without the blanks around it.
std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A positive number, else `fallback`, at most `most`.
int64_t Positive(const std::string& text, int64_t fallback, int64_t most) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value > 0 ? std::min<int64_t>(value, most) : fallback;
}

// One key: whether it is a main row, how its field is written as text and read back.
struct Row {
    const char* key;
    bool main;
    std::string (*text)(const Configuration&);
    void (*read)(Configuration&, const std::string& stored, const Configuration& fallback);
};

// An optional limit: a positive number, at most `Most`.
template <auto Field, int64_t Most>
Row LimitRow(const char* key) {
    return {key, false, [](const Configuration& c) { return std::to_string(c.*Field); },
            [](Configuration& c, const std::string& stored, const Configuration& fallback) {
                using Value = std::remove_reference_t<decltype(c.*Field)>;
                c.*Field = static_cast<Value>(Positive(stored, fallback.*Field, Most));
            }};
}

const Row kRows[] = {
    {config_key::kListenPort, true,
     [](const Configuration& c) { return std::to_string(c.listenPort); },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.listenPort = static_cast<uint16_t>(LeadingNumber(stored));
     }},
    {config_key::kTorvoAgentAllow, true,
     [](const Configuration& c) { return std::to_string(c.torvoAgentAllow); },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.torvoAgentAllow = static_cast<int32_t>(LeadingNumber(stored));
     }},
    {config_key::kAnonymousAllow, true,
     [](const Configuration& c) { return std::string(c.anonymousAllowed ? "1" : "0"); },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.anonymousAllowed = std::strtol(stored.c_str(), nullptr, 10) == 1;
     }},
    {config_key::kLanguage, true, [](const Configuration& c) { return c.language; },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.language = stored;
     }},
    {config_key::kAllowedNetworks, true, [](const Configuration& c) { return c.allowedNetworks; },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.allowedNetworks = stored;
     }},
    LimitRow<&Configuration::historyMaxRows, INT64_MAX>(config_key::kHistoryMaxRows),
    LimitRow<&Configuration::alarmsMaxRows, INT64_MAX>(config_key::kAlarmsMaxRows),
    LimitRow<&Configuration::databaseMaxMb, (int64_t{1} << 30)>(config_key::kDatabaseMaxMb),
    LimitRow<&Configuration::maxConnections, INT_MAX>(config_key::kMaxConnections),
    LimitRow<&Configuration::maxConnectionsPerIp, INT_MAX>(config_key::kMaxConnectionsPerIp),
    LimitRow<&Configuration::handshakeTimeoutSec, INT_MAX>(config_key::kHandshakeTimeout),
    LimitRow<&Configuration::idleTimeoutSec, INT_MAX>(config_key::kIdleTimeout),
    LimitRow<&Configuration::upstreamTimeoutSec, INT_MAX>(config_key::kUpstreamTimeout),
    LimitRow<&Configuration::responseTimeoutSec, INT_MAX>(config_key::kResponseTimeout),
    {config_key::kMetricsListen, false, [](const Configuration& c) { return c.metricsListen; },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.metricsListen = Trimmed(stored);
     }},
    {config_key::kMetricsPerUser, false,
     [](const Configuration& c) { return std::string(c.metricsPerUser ? "1" : "0"); },
     [](Configuration& c, const std::string& stored, const Configuration&) {
         c.metricsPerUser = Trimmed(stored) == "1";
     }},
};

// The stored text of a key; nullopt when its row is missing or its value null.
std::optional<std::string> Stored(CppSQLite3DB& db, const char* key) {
    auto query = db.execQuery("select value from configuration where key=?", {key});
    if (query.fieldDataType(0) == CppSQLite3Query::kNullStorageClass) return std::nullopt;
    return std::string(query.getStringField(0));
}

}  // namespace

Configuration LoadConfiguration(CppSQLite3DB& db, const Configuration& fallback,
                                std::vector<std::string>* repaired) {
    Configuration config;
    for (const Row& row : kRows) {
        if (auto stored = Stored(db, row.key)) {
            row.read(config, *stored, fallback);
            continue;
        }
        const std::string text = row.text(fallback);
        row.read(config, text, fallback);
        if (!row.main) continue;
        db.execDML("delete from configuration where key=?", {row.key});
        db.execDML("insert into configuration (key, value) values (?, ?)", {row.key, text});
        if (repaired) repaired->push_back(row.key);
    }
    return config;
}

Configuration UpdateConfiguration(CppSQLite3DB& db,
                                  const std::function<void(Configuration&)>& change) {
    Transaction transaction(db);
    const Configuration stored = LoadConfiguration(db);
    Configuration config = stored;
    change(config);
    for (const Row& row : kRows) {
        const std::string text = row.text(config);
        if (text == row.text(stored) ||
            db.execDML("update configuration set value=? where key=?", {text, row.key}) > 0) {
            continue;
        }
        db.execDML("insert into configuration (key, value) values (?, ?)", {row.key, text});
    }
    transaction.Commit();
    return config;
}

Configuration PrepareMainDb(CppSQLite3DB& db, const Configuration& fallback) {
    UpgradeMainTables(db);
    return LoadConfiguration(db, fallback);
}
