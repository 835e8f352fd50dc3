#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text that came from a client (a user name, a URL, a host), made safe to store in main.db
// and to write to a log: control characters become "\xNN" (so a newline cannot forge a
// second log line or alarm), and a text longer than `maxBytes` is cut on a character
// boundary and ends in kCutMark, so a reader sees it was cut.
inline constexpr std::string_view kCutMark = "...[cut]";
std::string SafeText(std::string_view text, size_t maxBytes);

// An http:// or https:// URL without its userinfo ("user:password@"), which is never stored.
std::string WithoutUserinfo(std::string_view url);
