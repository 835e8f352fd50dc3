#pragma once
// Stable reordering of a list of row indices by one column. Numbers compare as numbers (no
// differences that overflow); texts with the user's collation (strcoll), or byte by byte when
// the collation is the C or C.UTF-8 one, where both give the same order.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// True when strcoll orders like a byte comparison (collation "C", "POSIX", "C.<codeset>").
bool CollationIsByteOrder();

// Three-way comparison of two NUL-terminated texts with the user's collation.
int CompareText(const char* a, const char* b);

// `order` holds row indices; each sort keeps rows with equal keys in their present order, in
// both directions (descending is the ascending comparison negated).
void SortByNumber(std::vector<uint32_t>& order, const std::function<uint64_t(uint32_t)>& keyOf,
                  bool descending);
// Byte by byte, whatever the collation; the keys may hold any bytes.
void SortByBytes(std::vector<uint32_t>& order,
                 const std::function<std::string_view(uint32_t)>& keyOf, bool descending);
// The texts must be NUL-terminated (the text store keeps them so) and free of inner NULs.
void SortByText(std::vector<uint32_t>& order,
                const std::function<std::string_view(uint32_t)>& textOf, bool descending);

// An ordering key for signed numbers: unsigned order equals signed order.
inline uint64_t SignedKey(int64_t value) {
    return static_cast<uint64_t>(value) ^ (uint64_t{1} << 63);
}
