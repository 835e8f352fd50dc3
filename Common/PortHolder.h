#pragma once

#include <cstdint>
#include <string>

// Whether some process already listens on a TCP port of this machine (any address, IPv4 or
// IPv6), and which one when this account may see it.
struct PortHolder {
    bool held = false;
    std::string who;  // "name (pid 123)"; empty when the holder could not be seen
};

PortHolder FindPortHolder(uint16_t port);
