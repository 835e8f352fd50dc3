#include "Common/ClientNetworks.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

// Without fe80::/10: a host picks its link-local addresses itself, from every link at once, and
// the server counts them all as one /64 (logins and connection shares); LAN clients have
// fc00::/7 or global addresses, and an administrator who needs link-local adds it.
const char kDefaultClientNetworks[] =
    "127.0.0.0/8,::1/128,10.0.0.0/8,172.16.0.0/12,192.168.0.0/16,100.64.0.0/10,"
    "169.254.0.0/16,fc00::/7";

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Clears the bits beyond `prefix`; true when any was set.
bool ClearHostBits(ClientNetwork& network) {
    const int length = network.v4 ? 4 : 16;
    bool cleared = false;
    for (int i = 0; i < length; ++i) {
        const int keep = std::clamp(network.prefix - 8 * i, 0, 8);
        const auto mask = static_cast<uint8_t>(0xff00u >> keep);
        cleared |= (network.bytes[i] & ~mask) != 0;
        network.bytes[i] &= mask;
    }
    return cleared;
}

bool IsV4Mapped(const std::array<uint8_t, 16>& bytes) {
    static constexpr uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(bytes.data(), kPrefix, sizeof kPrefix) == 0;
}

uint64_t HalfOf(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
    return value;
}

uint64_t MaskOf(int bits) {
    return bits <= 0 ? 0 : bits >= 64 ? ~uint64_t{0} : ~uint64_t{0} << (64 - bits);
}

}  // namespace

ParsedNetwork ParseClientNetwork(std::string_view text) {
    ParsedNetwork parsed;
    text = Trimmed(text);
    const size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    ClientNetwork& network = parsed.network;
    network.v4 = address.find(':') == std::string::npos;
    if (address.empty() ||
        inet_pton(network.v4 ? AF_INET : AF_INET6, address.c_str(), network.bytes.data()) != 1) {
        parsed.problem = NetworkProblem::kNotAnAddress;
        return parsed;
    }
    const int bits = network.v4 ? 32 : 128;
    network.prefix = bits;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            parsed.problem = NetworkProblem::kBadPrefix;
            return parsed;
        }
        network.prefix = 0;
        for (const char c : digits) network.prefix = network.prefix * 10 + (c - '0');
        if (network.prefix > bits) {
            parsed.problem = NetworkProblem::kBadPrefix;
            return parsed;
        }
    }
    if (!network.v4 && network.prefix >= 96 && IsV4Mapped(network.bytes)) {
        std::memmove(network.bytes.data(), network.bytes.data() + 12, 4);
        std::fill(network.bytes.begin() + 4, network.bytes.end(), 0);
        network.v4 = true;
        network.prefix -= 96;
    }
    if (ClearHostBits(network)) parsed.problem = NetworkProblem::kHostBits;
    return parsed;
}

std::string FormatClientNetwork(const ClientNetwork& network) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(network.v4 ? AF_INET : AF_INET6, network.bytes.data(), text, sizeof text);
    return std::string(text) + "/" + std::to_string(network.prefix);
}

std::vector<std::string> SplitNetworkList(std::string_view list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(",; \t\r\n", start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) entries.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

NetworkListCheck CheckNetworkList(std::string_view typed) {
    NetworkListCheck check;
    int lineNumber = 0;
    for (size_t start = 0; start <= typed.size() && check.badLine == 0; ++lineNumber) {
        size_t end = typed.find('\n', start);
        if (end == std::string_view::npos) end = typed.size();
        for (const std::string& entry : SplitNetworkList(typed.substr(start, end - start))) {
            const ParsedNetwork parsed = ParseClientNetwork(entry);
            if (parsed.problem != NetworkProblem::kNone) {
                check.badLine = lineNumber + 1;
                check.badEntry = entry;
                check.bad = parsed;
                break;
            }
            if (!check.empty) check.stored += ',';
            check.stored += FormatClientNetwork(parsed.network);
            check.empty = false;
            check.everyAddress |= parsed.network.prefix == 0;
        }
        start = end + 1;
    }
    return check;
}

ClientNetworks::ClientNetworks(std::string_view list) {
    for (const std::string& entry : SplitNetworkList(list)) {
        const ParsedNetwork parsed = ParseClientNetwork(entry);
        if (parsed.problem != NetworkProblem::kNone &&
            parsed.problem != NetworkProblem::kHostBits) {
            continue;
        }
        const ClientNetwork& network = parsed.network;
        if (network.v4) {
            const uint32_t mask = network.prefix == 0 ? 0 : ~uint32_t{0} << (32 - network.prefix);
            v4_.push_back(V4{static_cast<uint32_t>(HalfOf(network.bytes.data()) >> 32), mask});
        } else {
            v6_.push_back(V6{HalfOf(network.bytes.data()), HalfOf(network.bytes.data() + 8),
                             MaskOf(network.prefix), MaskOf(network.prefix - 64)});
        }
    }
}

bool ClientNetworks::Allows(uint32_t v4) const {
    return std::any_of(v4_.begin(), v4_.end(),
                       [v4](const V4& network) { return (v4 & network.mask) == network.address; });
}

bool ClientNetworks::Allows(const std::array<uint8_t, 16>& v6) const {
    if (IsV4Mapped(v6)) return Allows(static_cast<uint32_t>(HalfOf(v6.data() + 8)));
    const uint64_t high = HalfOf(v6.data()), low = HalfOf(v6.data() + 8);
    return std::any_of(v6_.begin(), v6_.end(), [&](const V6& network) {
        return (high & network.highMask) == network.high && (low & network.lowMask) == network.low;
    });
}
