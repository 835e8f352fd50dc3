#include "Common/SystemConf.h"

#include <unistd.h>

#include <cctype>
#include <optional>

#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SourcePath.h"
#include "Common/Version.h"

namespace {

// The stored value of a configuration key; nullopt when its row is missing or the value null.
std::optional<std::string> ReadKey(CppSQLite3DB& db, const char* key) {
    CppSQLite3Query query =
        db.execQuery(SqlFormat("select value from configuration where key='%q'", key).c_str());
    if (query.fieldDataType(0) == CppSQLite3Query::kNullStorageClass) return std::nullopt;
    return std::string(query.getStringField("value"));
}

// Recreates a key's row with the given value.
void RepairKey(CppSQLite3DB& db, const char* key, const std::string& value) {
    db.execDML(SqlFormat("delete from configuration where key='%q'", key).c_str());
    db.execDML(
        SqlFormat("insert into configuration (key, value) values ('%q', '%q')", key, value.c_str())
            .c_str());
}

// Leading decimal digits (after blanks and a sign), the C atoi way; no digits give 0. The
// number wraps at 32 bits; callers keep the bits they store.
uint32_t ParseLeadingNumber(const std::string& text) {
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

// The port keeps the low 16 bits, so 70000 gives 4464.
uint16_t ParsePort(const std::string& text) {
    return static_cast<uint16_t>(ParseLeadingNumber(text));
}

}  // namespace

int SystemConf::load() {
    loadFromDatabase();
    return loadServerVersion();
}

void SystemConf::loadFromDatabase() {
    UseDatabase(
        [this](CppSQLite3DB& db) {
            if (const auto port = ReadKey(db, "listen_port")) {
                listenPort = ParsePort(*port);
                LOG_FROM_ROOT(WARNING) << "the proxy server listen port is: " << listenPort;
            } else {
                LOG_FROM_ROOT(ERROR) << "failed to load listen port from db";
                RepairKey(db, "listen_port", std::to_string(listenPort));
            }

            // The stored number as it is (0 stays 0); a missing one is stored as "0".
            if (const auto allow = ReadKey(db, "torvoagent_allow")) {
                torvoAgentAllow = static_cast<int32_t>(ParseLeadingNumber(*allow));
            } else {
                RepairKey(db, "torvoagent_allow", "0");
            }
            LOG_FROM_ROOT(WARNING) << "the proxy server allow torvo agent: " << torvoAgentAllow;

            if (auto stored = ReadKey(db, "lang")) {
                language = std::move(*stored);
                LOG_FROM_ROOT(WARNING) << "the ui language is: " << language;
            } else {
                LOG_FROM_ROOT(ERROR) << "failed to load lang from db";
                RepairKey(db, "lang", language);
            }
        },
        DbFailure::kLogError);
}

int SystemConf::loadServerVersion() {
    const std::string path = GetVersionFilePath();
    if (access(path.c_str(), F_OK) != 0) {
        LOG_FROM_ROOT(ERROR) << "can't find version file: " << path;
        return 0;
    }
    std::string platform;
    if (!ReadVersionFileKey(path, "platform", platform)) {
        LOG_FROM_ROOT(ERROR) << "can't find platform section in file: " << path;
        return 0;
    }
    std::string version;
    if (!ReadVersionFileKey(path, "version", version)) {
        LOG_FROM_ROOT(ERROR) << "can't find version section in file: " << path;
        return 0;
    }
    serverVersion = version;
    LOG_FROM_ROOT(WARNING) << "the proxy server listen port: " << listenPort
                           << ", server version: " << serverVersion;
    return 1;
}

bool SystemConf::save() {
    return UseDatabase([this](CppSQLite3DB& db) {
        // One transaction: a crash or a failed statement leaves all three keys as they were
        // (closing the connection without the commit rolls back).
        db.execDML("begin immediate");
        db.execDML(SqlFormat("update configuration set value='%d' where key='torvoagent_allow'",
                             torvoAgentAllow)
                       .c_str());
        db.execDML(SqlFormat("update configuration set value='%d' where key='listen_port'",
                             static_cast<int>(listenPort))
                       .c_str());
        db.execDML(
            SqlFormat("update configuration set value='%q' where key='lang'", language.c_str())
                .c_str());
        db.execDML("commit");
    });
}

bool SystemConf::saveLanguage(const std::string& code) {
    language = code;
    return UseDatabase([&code](CppSQLite3DB& db) {
        db.execDML(SqlFormat("update configuration set value='%q' where key='lang'", code.c_str())
                       .c_str());
    });
}
