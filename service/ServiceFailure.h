#pragma once

#include <cstdint>
#include <string>

// Why a service operation failed, for the administrator: what went wrong, and the words of
// whoever knows why (the service manager's message, or the server's own reason for ending).
struct ServiceFailure {
    enum class Kind {
        kNone,
        kRefused,        // the service manager refused or failed the request
        kExited,         // the server ended while starting
        kStartTimedOut,  // still not running when the time limit ran out
        kStopTimedOut,   // still not stopped when the time limit ran out
    };
    Kind kind = Kind::kNone;
    std::string detail;  // may be empty
};

// A short English text for a service error code ("access denied (5)").
std::string ServiceErrorText(uint32_t code);
