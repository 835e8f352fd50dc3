#include "ctl/Settings.h"

#include <functional>

#include "Common/Configuration.h"
#include "Common/Database.h"
#include "Common/SystemConf.h"

namespace {

// Reads the rows, lets `change` edit them and writes what it changed, in one transaction;
// false when main.db refused (then no row changed).
bool Update(const std::function<void(Configuration&)>& change) {
    return UseDatabase([&change](CppSQLite3DB& db) { UpdateConfiguration(db, change); },
                       DbFailure::kLogError);
}

}  // namespace

CtlSettings LoadSettings() {
    SystemConf& system = SystemConf::instance();
    system.load();  // the server version, from version.ini
    CtlSettings settings;
    settings.serverVersion = system.serverVersion;
    // A missing main row is stored as the console stores it.
    UseDatabase(
        [&settings, &system](CppSQLite3DB& db) {
            const Configuration config = LoadConfiguration(db, system.fallback());
            settings.listenPort = config.listenPort;
            settings.anonymous = config.anonymousAllowed;
            settings.language = config.language;
            settings.allowedNetworks = config.allowedNetworks;
        },
        DbFailure::kLogError);
    return settings;
}

bool SaveListenPort(uint16_t port) {
    return Update([port](Configuration& config) { config.listenPort = port; });
}

bool SaveAnonymous(bool allow) {
    return Update([allow](Configuration& config) { config.anonymousAllowed = allow; });
}

bool StoreAllowedNetworks(const std::string& stored) {
    return Update([&stored](Configuration& config) { config.allowedNetworks = stored; });
}

std::optional<std::string> StoredLanguage(int waitMs) {
    std::optional<std::string> language;
    // Read alone, without the repairs of a load: the language is needed before the rights
    // to change main.db are known.
    DatabaseOptions options;
    options.lockWaitMs = options.busyTimeoutMs = waitMs;
    UseDatabase(
        [&language](CppSQLite3DB& db) {
            auto query = db.execQuery("select value from configuration where key=?",
                                      {config_key::kLanguage});
            language = query.eof() ? std::string() : std::string(query.getStringField(0));
        },
        DbFailure::kSilent, options);
    return language;
}
