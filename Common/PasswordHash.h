#pragma once

#include <optional>
#include <string>
#include <string_view>

// The strong, salted password hash kept beside each account's digest: yescrypt through the
// system's crypt (libxcrypt), at cost 5, the cost Debian uses for login passwords (16 MiB and
// some tens of milliseconds per hash or check). The text form is crypt's: "$y$j9T$<salt>$<hash>".
inline constexpr unsigned long kPasswordHashCost = 5;

// A hash of `password` under a fresh random salt; nullopt when the system cannot make one or
// the password holds a zero byte (crypt reads a C string and would ignore what follows it).
std::optional<std::string> MakePasswordHash(std::string_view password);

enum class HashCheck {
    kMatch,
    kMismatch,
    kUnusable,  // not a yescrypt hash, or crypt refused it: the account cannot log in
};
// Whether `password` is the one `hash` was made of; the results are compared in constant time.
HashCheck CheckPasswordHash(const std::string& hash, std::string_view password);

// Equality of two byte strings in a time that depends on their lengths only.
bool ConstantTimeEqual(std::string_view a, std::string_view b);
