#pragma once
// What the live connections page shows and what it cuts, without widgets: the filter over the
// server's rows, how many listed rows a cut names, and the question asked before it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Common/ControlChannel.h"
#include "Common/UiLanguage.h"
#include "server_link/Replies.h"

// The rows, in their order, with `filter` in their user, client address or destination, ASCII
// letters compared without case (as the record pages filter); an empty filter matches every row.
std::vector<ConnectionRow> MatchingConnections(const std::vector<ConnectionRow>& rows,
                                               std::string_view filter);

// The rows of `rows` that one "disconnect user" or "disconnect ip" names ("id" names one).
size_t ConnectionsNamed(const std::vector<ConnectionRow>& rows, control::DisconnectBy by,
                        std::string_view value);

// What a confirmation is about: the selected rows, every connection of the row's user or of
// its address, or the user's account (disabled, then cut).
enum class CutKind { kSelected, kUser, kAddress, kDisableAccount };

// The question asked before a cut, naming what will be cut. `count` is the number of rows it
// names in the list; for kSelected with one row, `first` and `second` are its address and
// destination, else `first` is the user or the address.
std::string CutQuestion(CutKind kind, size_t count, std::string_view first, std::string_view second,
                        res::UiLanguage language);

// "Connections: 3", or "Connections: 1 000 of 1 234" when the server listed fewer than it has.
std::string ConnectionCountText(size_t listed, uint64_t total, res::UiLanguage language);
