#pragma once

#include <asio/ip/address.hpp>
#include <string>

// Where a client comes from as the server's limits count it: an IPv4 address itself, an IPv6
// address by its /64 (one host commonly holds a whole /64 and may use any address of it), so
// that the connection share and the login throttle count one host once.
asio::ip::address SourceOf(const asio::ip::address& address);

// The login throttle's key for a client address text: the address for IPv4, "<prefix>/64" for
// IPv6.
std::string ThrottleKey(const std::string& clientIp);
