#pragma once
// Passwords never come from the command line: from standard input, or typed on the terminal
// without echo.
#include <string>

struct TypedPassword {
    std::string password;
    std::string repeat;  // typed a second time on a terminal; the same text from standard input
};

// The first line of standard input (without its line end) when `fromStdin`; else, on a
// terminal, asked twice without echo. Refuses when neither is possible.
TypedPassword ReadPassword(bool fromStdin);
