#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The 31-bit digest under which account passwords are stored (as "%u" decimal text). The
// server computes the very same function to check a login, so it is one unit shared by both.
// It is the System V ELF symbol hash, taken over the password's bytes as signed characters.
uint32_t PasswordDigest(std::string_view password);

// The digest a stored text names: decimal digits only, as "%u" writes a 31-bit digest. Any
// other text (empty, signed, blank, too large) names none, and its account cannot log in.
std::optional<uint32_t> ParseStoredDigest(std::string_view text);
