#include "ctl/Settings.h"

#include "Common/Configuration.h"
#include "Common/Database.h"
#include "Common/SystemConf.h"
#include "Common/UserConf.h"

CtlSettings LoadSettings() {
    SystemConf& system = SystemConf::instance();
    UserConf& users = UserConf::instance();
    system.load();
    users.load();
    CtlSettings settings;
    settings.listenPort = system.listenPort;
    settings.anonymous = users.anonymousAllow == 1;
    settings.language = system.language;
    settings.serverVersion = system.serverVersion;
    UseDatabase(
        [&settings, &system](CppSQLite3DB& db) {
            settings.allowedNetworks = LoadConfiguration(db, system.fallback()).allowedNetworks;
        },
        DbFailure::kLogError);
    return settings;
}

bool SaveListenPort(uint16_t port) {
    SystemConf& system = SystemConf::instance();
    system.load();
    system.listenPort = port;
    return system.save();
}

bool SaveAnonymous(bool allow) {
    UserConf& users = UserConf::instance();
    users.anonymousAllow = allow ? 1 : 0;
    return users.saveAnonymous();
}

bool StoreAllowedNetworks(const std::string& stored) {
    return UseDatabase(
        [&stored](CppSQLite3DB& db) {
            UpdateConfiguration(
                db, [&stored](Configuration& config) { config.allowedNetworks = stored; });
        },
        DbFailure::kLogError);
}

std::optional<std::string> StoredLanguage(int waitMs) {
    std::optional<std::string> language;
    // Read alone, without the console's repairs: the language is needed before the rights
    // to change main.db are known.
    DatabaseOptions options;
    options.lockWaitMs = options.busyTimeoutMs = waitMs;
    UseDatabase(
        [&language](CppSQLite3DB& db) {
            auto query = db.execQuery("select value from configuration where key=?", {"lang"});
            language = query.eof() ? std::string() : std::string(query.getStringField(0));
        },
        DbFailure::kSilent, options);
    return language;
}
