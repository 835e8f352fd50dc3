#include "server/CredentialCache.h"

#include <nettle/memops.h>
#include <sys/random.h>

#include <cstdint>
#include <stdexcept>

CredentialCache::CredentialCache() {
    std::array<uint8_t, 32> key{};
    if (::getrandom(key.data(), key.size(), 0) != static_cast<ssize_t>(key.size())) {
        throw std::runtime_error("no random bytes for the credential cache's key");
    }
    hmac_sha256_set_key(&keyed_, key.size(), key.data());
}

bool CredentialCache::Same(const Tag& a, const Tag& b) {
    return memeql_sec(a.data(), b.data(), a.size()) != 0;
}

bool CredentialCache::Holds(const std::string& user, const Tag& tag) const {
    const auto found = verified_.find(user);
    return found != verified_.end() && Same(tag, found->second);
}

CredentialCache::Tag CredentialCache::TagOf(std::string_view user, std::string_view password) {
    // The user name's length first, so that no other split of the same bytes gives this tag.
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(uint64_t{user.size()} >> (8 * i));
    hmac_sha256_update(&keyed_, sizeof length, length);
    hmac_sha256_update(&keyed_, user.size(), reinterpret_cast<const uint8_t*>(user.data()));
    hmac_sha256_update(&keyed_, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
    Tag tag{};
    hmac_sha256_digest(&keyed_, tag.size(), tag.data());  // also readies it for the next tag
    return tag;
}
