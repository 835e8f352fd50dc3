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
    using Tag = std::array<uint8_t, SHA256_DIGEST_SIZE>;

    CredentialCache();
    // The tag of a user and password under this process's key.
    Tag TagOf(std::string_view user, std::string_view password);
    // Constant-time equality of two tags.
    static bool Same(const Tag& a, const Tag& b);
    bool Holds(const std::string& user, const Tag& tag) const;
    void Remember(const std::string& user, const Tag& tag) { verified_[user] = tag; }
    // The user's credential goes (its account changed or went).
    void Erase(const std::string& user) { verified_.erase(user); }

private:
    hmac_sha256_ctx keyed_{};  // keyed once; each tag leaves it keyed again
    std::unordered_map<std::string, Tag> verified_;
};
