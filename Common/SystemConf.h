#pragma once

#include <cstdint>
#include <string>

#include "Common/Configuration.h"
#include "Common/Singleton.h"

// The proxy server's settings as the console edits them: the configuration rows listen_port,
// torvoagent_allow and lang of main.db (Configuration), and the server version from
// version.ini. The fields are read and written directly by the window thread.
class SystemConf : public Singleton<SystemConf> {
public:
    // Reads the configuration (LoadConfiguration), recreating a missing or null port or language
    // from the field as it stands and a missing switch as 0, and keeps the three keys in the
    // fields. Then reads the server version from version.ini. A database failure is logged
    // once and leaves the fields as they were. Returns 1 when version.ini was found with both
    // keys, else 0.
    int load();
    // Writes the three keys in one transaction (all or none); true when it committed and the
    // connection closed. Nothing is logged; the fields keep their values either way.
    bool save();
    // Sets the language field and writes that key alone, so a port or switch changed in the
    // database meanwhile (by the settings page or another program) stays as stored.
    bool saveLanguage(const std::string& code);

    // What a missing row is stored as by load: the documented defaults, with the port and
    // the language as the fields hold them.
    Configuration fallback() const;

    std::string serverVersion = "3.0.0";
    int torvoAgentAllow = Configuration{}.torvoAgentAllow;
    uint16_t listenPort = Configuration{}.listenPort;
    std::string language = Configuration{}.language;

private:
    friend class Singleton<SystemConf>;
    SystemConf() = default;

    void loadFromDatabase();
    int loadServerVersion();
};
