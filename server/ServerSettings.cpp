#include "server/ServerSettings.h"

#include <glog/logging.h>

#include <ctime>

#include "Common/AccountPasswords.h"
#include "Common/CppSQLite3DB.h"
#include "Common/PasswordDigest.h"

ServerSettings LoadServerSettings(CppSQLite3DB& db) {
    ServerSettings settings;
    static_cast<Configuration&>(settings) = PrepareMainDb(db);
    settings.allowedClients = ClientNetworks(settings.allowedNetworks);
    for (const std::string& entry : SplitNetworkList(settings.allowedNetworks)) {
        const auto problem = ParseClientNetwork(entry).problem;
        if (problem != NetworkProblem::kNone && problem != NetworkProblem::kHostBits) {
            LOG(WARNING) << "allowed_networks: \"" << entry << "\" is not a network; skipped";
        }
    }
    if (settings.allowedClients.Empty()) {
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
