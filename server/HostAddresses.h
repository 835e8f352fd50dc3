#pragma once

#include <array>
#include <asio/ip/address.hpp>
#include <cstdint>
#include <set>

// Every address this host owns on any interface, so that no client is led back into the host
// (services bound to all addresses, the proxy port itself) by naming its LAN address instead of
// loopback. Read with getifaddrs; Refresh follows interfaces that come and go.
class HostAddresses {
public:
    HostAddresses() { Refresh(); }
    // Reads the interfaces' addresses again; keeps the last list when they cannot be read.
    void Refresh();
    // Whether `address` (plain IPv4, or IPv6 whatever its scope) is one of them.
    bool Owns(const asio::ip::address& address) const;

private:
    std::set<uint32_t> v4_;
    std::set<std::array<uint8_t, 16>> v6_;
};
