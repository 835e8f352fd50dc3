// The username/password sub-negotiation (RFC 1929) a client sends after choosing it.
// Input: the client's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/SafeText.h"
#include "server/Socks5Protocol.h"

namespace {

// The stored form of a client's text: within its length, no control character left, and
// the text itself when it was short and clean already.
void CheckSafeText(std::string_view text) {
    constexpr size_t kLimit = 64;
    const std::string safe = SafeText(text, kLimit);
    FUZZ_CHECK(safe.size() <= kLimit);
    bool clean = text.size() <= kLimit;
    for (const char c : text) clean &= static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
    for (const char c : safe) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    FUZZ_CHECK(!clean || safe == text);
    // Userinfo goes once and for all.
    const std::string url = WithoutUserinfo(text);
    FUZZ_CHECK(url.size() <= text.size() && WithoutUserinfo(url) == url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using socks5::Parse;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    socks5::Credentials credentials;
    size_t used = 0;
    const Parse outcome = CheckPrefixes(
        bytes, Parse::kNeedMore, Parse::kDone,
        [&](std::string_view part, size_t& n) {
            return socks5::ParseCredentials(part, credentials, n);
        },
        used);
    CheckSafeText(bytes);
    if (outcome != Parse::kDone) return 0;
    // Exactly the fields sent, and nothing of what follows: built again they give the bytes read.
    std::string rebuilt{char(socks5::kUserPassVersion), char(credentials.user.size())};
    rebuilt += credentials.user;
    rebuilt += char(credentials.password.size());
    rebuilt += credentials.password;
    FUZZ_CHECK(!credentials.user.empty() && rebuilt == bytes.substr(0, used));
    return 0;
}
