#pragma once
// Where proxy clients reach the server: the machine's own addresses with the listen port.
#include <cstdint>
#include <string>
#include <vector>

// The addresses of the interfaces that are up, as text (IPv4 dotted, IPv6 without scope).
std::vector<std::string> MachineAddresses();

// "address:port" for each address a client elsewhere can use (no loopback, no IPv6 link-local,
// no duplicates; IPv6 in brackets), in the given order, then "127.0.0.1:port" for this machine.
std::vector<std::string> ClientAddresses(const std::vector<std::string>& addresses, uint16_t port);
