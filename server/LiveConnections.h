#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "Common/ControlChannel.h"

class ClientSession;

// The control channel's view of the live client connections: "connections" lists them from a
// copy taken on the event loop (the reply itself is built off it), "disconnect" ends those it
// names.

// One connection as "connections" lists it.
struct ListedConnection {
    uint64_t id = 0;
    std::string ip;
    std::string user;  // empty: anonymous (or not logged in yet)
    const char* protocol = control::kProtocolHttp;
    std::string destination;
    int64_t since = 0;  // Unix time of the accept
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
    uint64_t rate = 0;  // bytes per second over the last 2 s
};
using ListedConnections = std::vector<ListedConnection>;
using LiveSessions = std::unordered_set<ClientSession*>;

// Shared, so that handing it to the thread that builds the reply copies no row.
std::shared_ptr<const ListedConnections> SnapshotConnections(const LiveSessions& sessions);
// The fastest first (then the oldest id), at most control::kConnectionRowLimit rows;
// "total" counts them all.
std::string ConnectionsReply(const ListedConnections& rows);

// What a "disconnect" names: an id, or the user or client address in the form the sessions
// hold it (an IPv4-mapped IPv6 address as IPv4, as clients are counted).
struct DisconnectOrder {
    control::DisconnectBy by = control::DisconnectBy::kId;
    uint64_t id = 0;
    std::string name;
};
// nullopt for an unknown form, an id that is not a decimal number, an unreadable address.
std::optional<DisconnectOrder> ReadDisconnectOrder(std::string_view argument);

struct Disconnected {
    int closed = 0;
    std::string alarm;  // what was closed, for the "admin" alarm
};
// Ends every session the order names at once (a tunnel's or a kept-alive session's sockets
// are closed; their coroutines then end).
Disconnected Disconnect(const LiveSessions& sessions, const DisconnectOrder& order);
std::string DisconnectReply(int closed);
