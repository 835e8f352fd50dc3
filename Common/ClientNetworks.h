#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The networks (CIDR, IPv4 and IPv6) whose clients may connect to the proxy port: parsed as
// the console checks them while they are typed, and matched by the server at every accept.

// One network: the address with the bits beyond the prefix cleared.
struct ClientNetwork {
    bool v4 = true;
    std::array<uint8_t, 16> bytes{};  // IPv4 in the first 4
    int prefix = 0;
    bool operator==(const ClientNetwork&) const = default;
};

// Why a typed entry is not a network.
enum class NetworkProblem {
    kNone,
    kNotAnAddress,  // neither an IPv4 nor an IPv6 address
    kBadPrefix,     // not a number from 0 to 32 (IPv4) or 128 (IPv6)
    kHostBits,      // the address has bits set beyond its prefix (the network is still given)
};

struct ParsedNetwork {
    ClientNetwork network;
    NetworkProblem problem = NetworkProblem::kNone;
};

// "a.b.c.d/n", "x:y::z/n", or an address alone (one host). Blanks around it are ignored. An
// IPv4-mapped IPv6 network (::ffff:a.b.c.d/n, n >= 96) is read as the IPv4 one, because
// clients are matched by their IPv4 address.
ParsedNetwork ParseClientNetwork(std::string_view text);
// "10.0.0.0/8", "fc00::/7".
std::string FormatClientNetwork(const ClientNetwork& network);
// The entries of a stored or typed list: separated by commas, semicolons or blanks.
std::vector<std::string> SplitNetworkList(std::string_view list);

// A list as typed, one network a line (commas and blanks separate too): the first entry that
// is not a network (a network with host bits counts as one), or the list as it is stored.
struct NetworkListCheck {
    int badLine = 0;  // 1-based; 0 when every entry is good
    std::string badEntry;
    ParsedNetwork bad;
    std::string stored;  // the networks in their canonical form, joined by ","
    bool empty = true;
    bool everyAddress = false;  // 0.0.0.0/0 or ::/0 is in it
};
NetworkListCheck CheckNetworkList(std::string_view typed);

// Loopback, the private ranges, shared address space and link-local, as stored in a new or
// upgraded main.db.
extern const char kDefaultClientNetworks[];

// The matcher: a short table per family, scanned in order (a list holds a handful).
class ClientNetworks {
public:
    ClientNetworks() = default;  // allows nobody
    // Every entry that parses (with host bits cleared); the rest are skipped.
    explicit ClientNetworks(std::string_view list);

    bool Allows(uint32_t v4) const;                        // host byte order
    bool Allows(const std::array<uint8_t, 16>& v6) const;  // an IPv4-mapped one as its IPv4
    bool Empty() const { return v4_.empty() && v6_.empty(); }

private:
    struct V4 {
        uint32_t address, mask;
    };
    struct V6 {
        uint64_t high, low, highMask, lowMask;
    };
    std::vector<V4> v4_;
    std::vector<V6> v6_;
};
