#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/HttpMessageParser.h"

// What a forward proxy makes of a request head: where it goes, what is sent on, who asks.
// Pure functions over the parsed head.

struct ProxyTarget {
    std::string host;  // without brackets for IPv6 literals
    uint16_t port = 0;
    std::string originForm;  // path and query for the origin ("/" when empty); empty for CONNECT
};

// CONNECT: "host:port". Anything else: an absolute "http://" URL (default port 80).
std::optional<ProxyTarget> ParseProxyTarget(const HttpHead& head);

// A request the proxy answers itself instead of passing on: 505 for a version other than
// HTTP/1.0 and 1.1, 400 for an HTTP/1.0 request with Transfer-Encoding (RFC 9112 section 6.1:
// its framing is faulty, since HTTP/1.0 has no such field); 0 for any other.
int RefusedRequestStatus(const HttpHead& head);

// The request head to send to the origin: origin-form target, the sender's version, the
// header fields without hop-by-hop ones (Connection and those it names, Keep-Alive, TE,
// Trailer, Upgrade, Proxy-*), and one Host field first: the target's, in place of the client's.
std::string BuildOriginRequest(const HttpHead& head, const ProxyTarget& target);

struct ProxyCredentials {
    std::string user;
    std::string password;
};
// "Proxy-Authorization: Basic <base64 of user:password>"; nothing when absent or malformed.
std::optional<ProxyCredentials> ReadProxyCredentials(const HttpHead& head);

// Strict base64 (RFC 4648 alphabet, padding optional); nothing when malformed.
std::optional<std::string> DecodeBase64(std::string_view text);

// A short complete response from the proxy itself ("Connection: close" unless `keepAlive`).
std::string ProxyResponse(int status, std::string_view reason, std::string_view extraHeaders = {},
                          bool keepAlive = false);
