#pragma once
// The proxy's listen port as an administrator types it: an integer from 1 to 65535, and never
// the control channel's own port (the server could not listen there).
#include <cstdint>
#include <string>
#include <string_view>

#include "Common/UiLanguage.h"

enum class ListenPortProblem { kNone, kOutOfRange, kControlPort };

struct ListenPortCheck {
    ListenPortProblem problem = ListenPortProblem::kNone;
    uint16_t port = 0;  // the port typed when it is a number from 1 to 65535
};

// Decimal digits with an optional "+", blanks around them allowed. `controlPort` is the one
// the control channel uses (the client's default unless the caller talks to another).
ListenPortCheck CheckListenPort(std::string_view typed, uint16_t controlPort);
ListenPortCheck CheckListenPort(std::string_view typed);

// Why the port is refused, in `language`; empty when it is not.
std::string ListenPortRefusal(const ListenPortCheck& check, res::UiLanguage language);
