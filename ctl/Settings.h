#pragma once
// The configuration rows of main.db that the command line reads and changes: listen port,
// anonymous switch, allowed client networks and language. This file alone knows which reader
// keeps them.
#include <cstdint>
#include <optional>
#include <string>

struct CtlSettings {
    uint16_t listenPort = 0;
    bool anonymous = false;
    std::string language;
    std::optional<std::string> allowedNetworks;  // stored form; nullopt when unreadable
    std::string serverVersion;
};

// Reads every row (a missing one is stored with its default, as the console does).
CtlSettings LoadSettings();
// Each writes its row; false when main.db refused.
bool SaveListenPort(uint16_t port);
bool SaveAnonymous(bool allow);
bool StoreAllowedNetworks(const std::string& stored);

// main.db's language row alone ("zh" or "en"), waiting at most `waitMs` for main.db; nullopt
// when it cannot be read by then.
std::optional<std::string> StoredLanguage(int waitMs);
