#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The SOCKS5 handshake (RFC 1928) and its username/password sub-negotiation (RFC 1929) as
// pure functions over the bytes received so far: each either needs more bytes, rejects the
// input, or reads one message and says how many bytes it used.
namespace socks5 {

inline constexpr uint8_t kVersion = 5;
inline constexpr uint8_t kUserPassVersion = 1;

enum Method : uint8_t { kNoAuthentication = 0x00, kUserPassword = 0x02, kNoAcceptable = 0xFF };
enum Command : uint8_t { kConnect = 1, kBind = 2, kUdpAssociate = 3 };
enum AddressType : uint8_t { kIPv4 = 1, kDomainName = 3, kIPv6 = 4 };
enum Reply : uint8_t {
    kSucceeded = 0,
    kGeneralFailure = 1,
    kNotAllowed = 2,
    kNetworkUnreachable = 3,
    kHostUnreachable = 4,
    kConnectionRefused = 5,
    kTtlExpired = 6,
    kCommandNotSupported = 7,
    kAddressTypeNotSupported = 8,
};

enum class Parse { kNeedMore, kDone, kBad };

struct Greeting {
    bool offersNoAuthentication = false;
    bool offersUserPassword = false;
};
// VER NMETHODS METHODS...
Parse ParseGreeting(std::string_view bytes, Greeting& greeting, size_t& used);

struct Credentials {
    std::string user;
    std::string password;
};
// VER(1) ULEN UNAME PLEN PASSWD
Parse ParseCredentials(std::string_view bytes, Credentials& credentials, size_t& used);

struct Request {
    uint8_t command = 0;
    uint8_t addressType = 0;
    std::string host;  // dotted IPv4, IPv6 text, or the domain name as sent
    uint16_t port = 0;
};
// VER CMD RSV ATYP DST.ADDR DST.PORT. kBad sets `failure` to the reply code to send (a bad
// version gets none: the connection is just closed, failure stays kGeneralFailure).
Parse ParseRequest(std::string_view bytes, Request& request, size_t& used, uint8_t& failure);

// VER REP RSV ATYP BND.ADDR BND.PORT; `address` holds 4 or 16 raw bytes (anything else is sent
// as the IPv4 address 0.0.0.0).
std::string BuildReply(uint8_t reply, std::string_view address = {}, uint16_t port = 0);

}  // namespace socks5
