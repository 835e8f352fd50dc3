#include "server/Socks5Protocol.h"

#include <arpa/inet.h>

namespace socks5 {
namespace {

uint8_t Byte(std::string_view bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]);
}

}  // namespace

Parse ParseGreeting(std::string_view bytes, Greeting& greeting, size_t& used) {
    if (bytes.size() < 2) return Parse::kNeedMore;
    if (Byte(bytes, 0) != kVersion || Byte(bytes, 1) == 0) return Parse::kBad;
    const size_t length = 2 + Byte(bytes, 1);
    if (bytes.size() < length) return Parse::kNeedMore;
    greeting = {};
    for (size_t i = 2; i < length; ++i) {
        if (Byte(bytes, i) == kNoAuthentication) greeting.offersNoAuthentication = true;
        if (Byte(bytes, i) == kUserPassword) greeting.offersUserPassword = true;
    }
    used = length;
    return Parse::kDone;
}

Parse ParseCredentials(std::string_view bytes, Credentials& credentials, size_t& used) {
    if (bytes.size() < 2) return Parse::kNeedMore;
    if (Byte(bytes, 0) != kUserPassVersion || Byte(bytes, 1) == 0) return Parse::kBad;
    const size_t userLength = Byte(bytes, 1);
    if (bytes.size() < 3 + userLength) return Parse::kNeedMore;
    const size_t passwordLength = Byte(bytes, 2 + userLength);
    const size_t length = 3 + userLength + passwordLength;
    if (bytes.size() < length) return Parse::kNeedMore;
    credentials.user.assign(bytes.substr(2, userLength));
    credentials.password.assign(bytes.substr(3 + userLength, passwordLength));
    used = length;
    return Parse::kDone;
}

Parse ParseRequest(std::string_view bytes, Request& request, size_t& used, uint8_t& failure) {
    failure = kGeneralFailure;
    if (bytes.size() < 5) return Parse::kNeedMore;
    if (Byte(bytes, 0) != kVersion || Byte(bytes, 2) != 0) return Parse::kBad;
    size_t addressLength = 0;
    size_t addressAt = 4;
    switch (Byte(bytes, 3)) {
        case kIPv4:
            addressLength = 4;
            break;
        case kIPv6:
            addressLength = 16;
            break;
        case kDomainName:
            addressLength = Byte(bytes, 4);
            addressAt = 5;
            if (addressLength == 0) return Parse::kBad;
            break;
        default:
            failure = kAddressTypeNotSupported;
            return Parse::kBad;
    }
    const size_t length = addressAt + addressLength + 2;
    if (bytes.size() < length) return Parse::kNeedMore;
    request.command = Byte(bytes, 1);
    request.addressType = Byte(bytes, 3);
    const std::string_view address = bytes.substr(addressAt, addressLength);
    if (request.addressType == kDomainName) {
        // A resolver reads a name up to its first NUL: "a.com\0junk" would reach a.com while
        // the history names the whole. No name holds one.
        if (address.find('\0') != std::string_view::npos) return Parse::kBad;
        request.host.assign(address);
    } else {
        char text[INET6_ADDRSTRLEN] = {};
        inet_ntop(request.addressType == kIPv4 ? AF_INET : AF_INET6, address.data(), text,
                  sizeof text);
        request.host = text;
    }
    request.port = static_cast<uint16_t>(Byte(bytes, length - 2) << 8 | Byte(bytes, length - 1));
    used = length;
    return Parse::kDone;
}

std::string BuildReply(uint8_t reply, std::string_view address, uint16_t port) {
    const bool v6 = address.size() == 16;
    std::string out{char(kVersion), char(reply), 0, char(v6 ? kIPv6 : kIPv4)};
    if (v6 || address.size() == 4) {
        out.append(address);
    } else {
        out.append(4, '\0');
    }
    out.push_back(char(port >> 8));
    out.push_back(char(port & 0xFF));
    return out;
}

}  // namespace socks5
