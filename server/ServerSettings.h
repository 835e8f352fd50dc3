#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "Common/AccountLimits.h"
#include "Common/ClientNetworks.h"
#include "Common/Configuration.h"

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

// What the server reads from main.db: the configuration rows, the matcher of the allowed client
// networks, and the accounts (user name to digest and strong hash).
struct ServerSettings : Configuration {
    // Who may connect to the proxy port, from allowedNetworks.
    ClientNetworks allowedClients;

    // The first row of each user name wins, as in the console.
    std::map<std::string, ProxyAccount> accounts;
    // Bytes each account (by rowid) moved in `month` ("2026-12"), as stored when read.
    std::string month;
    std::map<int64_t, uint64_t> monthTraffic;
};

// Prepares main.db (PrepareMainDb: missing tables and configuration rows are created with the
// defaults), then reads everything. Throws CppSQLite3Exception.
ServerSettings LoadServerSettings(CppSQLite3DB& db);
