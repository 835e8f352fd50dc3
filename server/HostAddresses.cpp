#include "server/HostAddresses.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

void HostAddresses::Refresh() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owned(list, &::freeifaddrs);
    std::set<uint32_t> v4;
    std::set<std::array<uint8_t, 16>> v6;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            v4.insert(ntohl(in->sin_addr.s_addr));
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            std::array<uint8_t, 16> bytes{};
            std::memcpy(bytes.data(), &in6->sin6_addr, bytes.size());
            v6.insert(bytes);
        }
    }
    v4_ = std::move(v4);
    v6_ = std::move(v6);
}

bool HostAddresses::Owns(const asio::ip::address& address) const {
    if (address.is_v4()) return v4_.contains(address.to_v4().to_uint());
    return v6_.contains(address.to_v6().to_bytes());
}
