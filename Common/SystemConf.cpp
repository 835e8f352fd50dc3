#include "Common/SystemConf.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SourcePath.h"
#include "Common/Version.h"

int SystemConf::load() {
    loadFromDatabase();
    return loadServerVersion();
}

Configuration SystemConf::fallback() const {
    Configuration fallback;
    fallback.listenPort = listenPort;
    fallback.language = language;
    return fallback;
}

void SystemConf::loadFromDatabase() {
    UseDatabase(
        [this](CppSQLite3DB& db) {
            std::vector<std::string> repaired;
            const Configuration stored = LoadConfiguration(db, fallback(), &repaired);
            const auto wasMissing = [&repaired](const char* key) {
                return std::find(repaired.begin(), repaired.end(), key) != repaired.end();
            };
            if (wasMissing(config_key::kListenPort)) {
                LOG_FROM_ROOT(ERROR) << "failed to load listen port from db";
            } else {
                listenPort = stored.listenPort;
                LOG_FROM_ROOT(WARNING) << "the proxy server listen port is: " << listenPort;
            }
            // The stored number as it is (0 stays 0); a missing one is stored as 0 and read so.
            torvoAgentAllow = stored.torvoAgentAllow;
            LOG_FROM_ROOT(WARNING) << "the proxy server allow torvo agent: " << torvoAgentAllow;
            if (wasMissing(config_key::kLanguage)) {
                LOG_FROM_ROOT(ERROR) << "failed to load lang from db";
            } else {
                language = stored.language;
                LOG_FROM_ROOT(WARNING) << "the ui language is: " << language;
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
        UpdateConfiguration(db, [this](Configuration& config) {
            config.torvoAgentAllow = torvoAgentAllow;
            config.listenPort = listenPort;
            config.language = language;
        });
    });
}

bool SystemConf::saveLanguage(const std::string& code) {
    language = code;
    return UseDatabase([&code](CppSQLite3DB& db) {
        UpdateConfiguration(db, [&code](Configuration& config) { config.language = code; });
    });
}
