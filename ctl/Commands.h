#pragma once
// The commands of torvoproxyctl. Each prints what it found or did, or refuses (Refusal) with
// the reason; nothing is changed before every given value has been checked.
#include <optional>
#include <string>
#include <vector>

#include "Common/ControlChannel.h"

// The proxy service.
void ShowStatus();
void InstallService();
void UninstallService();
void StartService();
void StopService();
void RestartService();

// The proxy accounts. Values are as typed; they are checked here.
struct AccountRequest {
    std::string name;
    bool passwordStdin = false;
    bool newPassword = false;            // modify: a password is given (add always asks for one)
    std::optional<std::string> expires;  // last day of use, YYYY-MM-DD
    bool noExpiry = false;
    std::optional<std::string> quotaMb;
    bool noQuota = false;
    std::optional<std::string> bandwidthKbs;
    bool noBandwidth = false;
    std::optional<bool> enabled;
};
void ListAccounts();
void AddAccount(const AccountRequest& request);
void ModifyAccount(const AccountRequest& request);
void DeleteAccount(const std::string& name);

// The settings the server reads.
void SetAnonymous(const std::string& onOrOff);
void SetListenPort(const std::string& port);
// action: list, set, add, remove or defaults.
void ChangeNetworks(const std::string& action, const std::vector<std::string>& entries);

// The records the server writes.
struct RecordFilter {
    std::optional<std::string> since, until, user, ip, grep;
    std::optional<std::string> limit;
    bool csv = false;
};
void ListAlarms(const RecordFilter& filter);
void ListHistory(const RecordFilter& filter);

// What the running server does: its live client connections (the fastest first), ending
// those of one id, account or client address, and an account's traffic per day.
void ListConnections();
void DisconnectClients(control::DisconnectBy by, const std::string& value);
void ShowTraffic(const std::string& account);

// main.db itself.
void BackupDatabase(const std::string& file);
void RestoreDatabase(const std::string& file);
