#pragma once

#include <chrono>
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

// What "connections" lists: the fastest connections' rows, at most control::kConnectionRowLimit
// of them, in no order, and how many connections there were.
struct ConnectionListing {
    size_t total = 0;
    ListedConnections rows;
};
// The rows the fastest first (then the oldest id).
std::string ConnectionsReply(const ConnectionListing& listing);

// A session's place in the race for a row; KeepFastest keeps the `limit` that win it.
struct RankedSession {
    uint64_t rate = 0;
    uint64_t id = 0;
    const ClientSession* session = nullptr;
};
void KeepFastest(std::vector<RankedSession>& ranked, size_t limit);

// The sessions' rates and ids as the once-a-second sweep measured them, in one block: a listing
// ranks them there instead of visiting every session (a few cache misses each, milliseconds for
// ten thousand on the event loop), and copies the strings of the listed ones only.
class ConnectionRanking {
public:
    // The sweep: Restart, then Sample for each session.
    void Restart() { ranked_.clear(); }
    void Sample(ClientSession& session, std::chrono::steady_clock::time_point now);
    // Taken on the event loop. Sessions ended since the sweep are left out; those begun since
    // moved nothing it measured, and rank after every session it saw. Shared, so that handing
    // it to the thread that builds the reply copies no row.
    std::shared_ptr<const ConnectionListing> Snapshot(const LiveSessions& sessions) const;

private:
    std::vector<RankedSession> ranked_;
};

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
Disconnected DisconnectSessions(const LiveSessions& sessions, const DisconnectOrder& order);
std::string DisconnectReply(int closed);
