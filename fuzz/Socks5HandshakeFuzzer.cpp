// The SOCKS5 handshake a client sends first: the method greeting, then the connect request.
// Input: the client's bytes, greeting and request back to back.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/Socks5Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using socks5::Parse;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t used = 0;

    socks5::Greeting greeting;
    const Parse hello = CheckPrefixes(
        bytes, Parse::kNeedMore, Parse::kDone,
        [&](std::string_view part, size_t& n) { return socks5::ParseGreeting(part, greeting, n); },
        used);
    if (hello != Parse::kDone) return 0;
    FUZZ_CHECK(used == 2u + static_cast<uint8_t>(bytes[1]));
    bytes.remove_prefix(used);

    socks5::Request request;
    uint8_t failure = 0;
    const Parse asked = CheckPrefixes(
        bytes, Parse::kNeedMore, Parse::kDone,
        [&](std::string_view part, size_t& n) {
            return socks5::ParseRequest(part, request, n, failure);
        },
        used);
    if (asked == Parse::kBad) {
        FUZZ_CHECK(failure == socks5::kGeneralFailure ||
                   failure == socks5::kAddressTypeNotSupported);
        return 0;
    }
    if (asked != Parse::kDone) return 0;
    switch (request.addressType) {
        case socks5::kIPv4:
        case socks5::kIPv6: {
            // The text names exactly the address sent, and the reply carries it back the
            // same way (a reply has the request's shape).
            unsigned char raw[16];
            const bool v4 = request.addressType == socks5::kIPv4;
            FUZZ_CHECK(inet_pton(v4 ? AF_INET : AF_INET6, request.host.c_str(), raw) == 1);
            FUZZ_CHECK(bytes.substr(4, v4 ? 4 : 16) ==
                       std::string_view(reinterpret_cast<const char*>(raw), v4 ? 4 : 16));
            const std::string reply =
                socks5::BuildReply(socks5::kSucceeded, bytes.substr(4, v4 ? 4 : 16), request.port);
            socks5::Request echoed;
            size_t replyUsed = 0;
            FUZZ_CHECK(socks5::ParseRequest(reply, echoed, replyUsed, failure) == Parse::kDone);
            FUZZ_CHECK(replyUsed == reply.size() && echoed.host == request.host &&
                       echoed.port == request.port);
            break;
        }
        case socks5::kDomainName:
            FUZZ_CHECK(request.host.size() == static_cast<uint8_t>(bytes[4]));
            // A resolver would read a name only up to a NUL.
            FUZZ_CHECK(request.host.find('\0') == std::string::npos);
            FUZZ_CHECK(used == 5 + request.host.size() + 2);
            break;
        default:
            FUZZ_CHECK(false && "an address type the parser should have refused");
    }
    return 0;
}
