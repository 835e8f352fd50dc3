// The username/password sub-negotiation (RFC 1929) a client sends after choosing it.
// Input: the client's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "server/Socks5Protocol.h"

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
    if (outcome != Parse::kDone) return 0;
    // Exactly the fields sent, and nothing of what follows: built again they give the bytes read.
    std::string rebuilt{char(socks5::kUserPassVersion), char(credentials.user.size())};
    rebuilt += credentials.user;
    rebuilt += char(credentials.password.size());
    rebuilt += credentials.password;
    FUZZ_CHECK(!credentials.user.empty() && rebuilt == bytes.substr(0, used));
    return 0;
}
