#pragma once
// What an administrator may type for an account, checked alike by every console: the user name
// and password fields, and the units the limits are typed in.
#include <cstdint>
#include <string_view>

// Each field holds at most this many characters (UTF-16 code units, as a text field counts).
inline constexpr int kAccountFieldMaxChars = 20;
// The monthly traffic is typed in MB, the bandwidth in KB/s (1024-based, as the list shows
// amounts); both from 1 to kLimitAmountMax units.
inline constexpr uint64_t kQuotaUnitBytes = uint64_t{1} << 20;
inline constexpr uint64_t kBandwidthUnitBytes = uint64_t{1} << 10;
inline constexpr int64_t kLimitAmountMax = 2147483647;

// Characters of UTF-8 `text` as a text field counts them (a character beyond U+FFFF counts 2);
// -1 when it is not UTF-8.
int AccountFieldLength(std::string_view text);

// A name with ':' cannot be sent over HTTP Basic (user:password); control characters cannot
// be typed by a client either. False for text that is not UTF-8.
bool UsableUserName(std::string_view userName);

enum class AccountFieldsPurpose { kAdd, kModify };

// The string id of the first check that fails, or 0: user name given, usable, short enough;
// password and repeat given, equal, short enough. When modifying, both password fields left
// empty mean "keep the password".
int AccountFieldsProblem(std::string_view userName, std::string_view password,
                         std::string_view repeat, AccountFieldsPurpose purpose);
