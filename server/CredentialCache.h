#pragma once

#include <nettle/hmac.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// The credentials whose strong check has passed, so that a client that sends them with every
// request (HTTP Basic) is checked once. Nothing of a password is kept: each user name maps to
// a tag, an HMAC-SHA256 (nettle) of user and password under a key drawn at random for this
// process, compared in constant time. Memory only; one entry per account at most. Used on the
// event loop's thread only.
class CredentialCache {
public:
    CredentialCache();
    bool Holds(const std::string& user, std::string_view password);
    void Remember(const std::string& user, std::string_view password);
    // Everything goes (the accounts were read again).
    void Clear() { verified_.clear(); }

private:
    using Tag = std::array<uint8_t, SHA256_DIGEST_SIZE>;
    Tag TagOf(std::string_view user, std::string_view password);

    hmac_sha256_ctx keyed_{};  // keyed once; each tag leaves it keyed again
    std::unordered_map<std::string, Tag> verified_;
};
