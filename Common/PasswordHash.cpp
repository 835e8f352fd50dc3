#include "Common/PasswordHash.h"

#include <crypt.h>

#include <memory>

namespace {

constexpr std::string_view kYescryptPrefix = "$y$";

bool Hashable(std::string_view password) {
    return password.find('\0') == std::string_view::npos &&
           password.size() < CRYPT_MAX_PASSPHRASE_SIZE;
}

// crypt_rn of a hashable `password` under `setting`; nullopt when crypt refuses (NULL, or a
// failure token starting with '*').
std::optional<std::string> Crypt(std::string_view password, const char* setting) {
    const std::string phrase(password);
    // crypt's working space (some 32 KiB, zeroed) on the heap, not on a worker's stack.
    const auto data = std::make_unique<crypt_data>();
    const char* hashed = crypt_rn(phrase.c_str(), setting, data.get(), sizeof *data);
    if (hashed == nullptr || hashed[0] == '*') return std::nullopt;
    return std::string(hashed);
}

}  // namespace

std::optional<std::string> MakePasswordHash(std::string_view password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // No random bytes given: libxcrypt takes them from the system's random source.
    if (crypt_gensalt_rn(kYescryptPrefix.data(), kPasswordHashCost, nullptr, 0, setting,
                         sizeof setting) == nullptr) {
        return std::nullopt;
    }
    return Hashable(password) ? Crypt(password, setting) : std::nullopt;
}

HashCheck CheckPasswordHash(const std::string& hash, std::string_view password) {
    // Anything else would be checked by whatever method its text names (a two-letter text
    // means DES): only the hash the console writes counts.
    if (!hash.starts_with(kYescryptPrefix)) return HashCheck::kUnusable;
    // A password crypt cannot take (a zero byte, too long) was never hashed: it cannot match.
    if (!Hashable(password)) return HashCheck::kMismatch;
    const auto hashed = Crypt(password, hash.c_str());
    if (!hashed) return HashCheck::kUnusable;
    return ConstantTimeEqual(*hashed, hash) ? HashCheck::kMatch : HashCheck::kMismatch;
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}
