#pragma once

#include <cstdint>
#include <string>

#include "Common/Singleton.h"

// The proxy server's settings as the console edits them: rows of the configuration table of
// main.db (listen_port, torvoagent_allow, lang) and the server version from version.ini.
// The fields are read and written directly by the window thread.
class SystemConf : public Singleton<SystemConf> {
public:
    // Reads the three keys, recreating a missing or null one from the field as it stands
    // (torvoagent_allow from "0"); stored numbers are read up to their first non-digit. Then
    // reads the server version from version.ini. A database failure is logged once and leaves
    // the fields as they were. Returns 1 when version.ini was found with both keys, else 0.
    int load();
    // Writes the three keys in one transaction (all or none); true when it committed and the
    // connection closed. Nothing is logged; the fields keep their values either way.
    bool save();
    // Sets the language field and writes that key alone, so a port or switch changed in the
    // database meanwhile (by the settings page or another program) stays as stored.
    bool saveLanguage(const std::string& code);

    std::string serverVersion = "3.0.0";
    int torvoAgentAllow = 1;
    uint16_t listenPort = 8089;
    std::string language = "zh";

private:
    friend class Singleton<SystemConf>;
    SystemConf() = default;

    void loadFromDatabase();
    int loadServerVersion();
};
