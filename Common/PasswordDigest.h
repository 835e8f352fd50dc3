#pragma once

#include <cstdint>
#include <string_view>

// The 31-bit digest under which account passwords are stored (as "%u" decimal text). The
// server computes the very same function to check a login, so it is one unit shared by both.
// It is the System V ELF symbol hash, taken over the password's bytes as signed characters.
uint32_t PasswordDigest(std::string_view password);
