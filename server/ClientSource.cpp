#include "server/ClientSource.h"

#include <algorithm>

asio::ip::address SourceOf(const asio::ip::address& address) {
    if (!address.is_v6()) return address;
    auto bytes = address.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes);  // without a scope: every link's /64 alike
}

std::string ThrottleKey(const std::string& clientIp) {
    if (clientIp.find(':') == std::string::npos) return clientIp;
    asio::error_code error;
    const auto address = asio::ip::make_address_v6(clientIp, error);
    if (error) return clientIp;
    return SourceOf(address).to_string() + "/64";
}
