#include "Common/AllowedNetworks.h"

#include "Common/ClientNetworks.h"
#include "Common/CppSQLite3DB.h"

std::string LoadAllowedNetworks(CppSQLite3DB& db) {
    {
        auto query =
            db.execQuery("select value from configuration where key=?", {kAllowedNetworksKey});
        if (query.fieldDataType(0) != CppSQLite3Query::kNullStorageClass) {
            return query.getStringField(0);
        }
    }
    SaveAllowedNetworks(db, kDefaultClientNetworks);
    return kDefaultClientNetworks;
}

// One statement when the row is there, so a crash never leaves the key without its row.
void SaveAllowedNetworks(CppSQLite3DB& db, const std::string& list) {
    if (db.execDML("update configuration set value=? where key=?", {list, kAllowedNetworksKey}) >
        0) {
        return;
    }
    db.execDML("insert into configuration (key, value) values (?, ?)", {kAllowedNetworksKey, list});
}
