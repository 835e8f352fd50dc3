#include "ui/pages/models/ClientAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

std::vector<std::string> MachineAddresses() {
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> guard(list, freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP)) continue;
        char text[INET6_ADDRSTRLEN] = {};
        const int family = entry->ifa_addr->sa_family;
        const void* address = nullptr;
        if (family == AF_INET)
            address = &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        else if (family == AF_INET6)
            address = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
        if (address && inet_ntop(family, address, text, sizeof text)) out.emplace_back(text);
    }
    return out;
}

std::vector<std::string> ClientAddresses(const std::vector<std::string>& addresses, uint16_t port) {
    const std::string suffix = ":" + std::to_string(port);
    std::vector<std::string> out;
    for (const std::string& address : addresses) {
        in_addr v4{};
        in6_addr v6{};
        std::string shown;
        if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
            if ((ntohl(v4.s_addr) >> 24) == 127 || v4.s_addr == 0) continue;
            shown = address + suffix;
        } else if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
            if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_LINKLOCAL(&v6) ||
                IN6_IS_ADDR_UNSPECIFIED(&v6))
                continue;
            shown = "[" + address + "]" + suffix;
        } else {
            continue;
        }
        if (std::find(out.begin(), out.end(), shown) == out.end()) out.push_back(shown);
    }
    out.push_back("127.0.0.1" + suffix);
    return out;
}
