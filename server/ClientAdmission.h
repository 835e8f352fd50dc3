#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "server/ServerSettings.h"

class AlarmLimiter;

// Whether `address` lies in one of `networks`.
bool InNetworks(const ClientNetworks& networks, const asio::ip::address& address);

// Who may become a client of the proxy port, decided as the connection is accepted and before
// a byte of it is read: only addresses in allowed_clients (the others are closed, counted and
// named in a "network" alarm at most once a minute), within max_connections and the descriptor
// limit, and within the share of one address, so that one address cannot take every slot from
// the others. A turned-away client raises a "limit" alarm.
class ClientAdmission {
public:
    // An admitted client's place in its address's share, given back when it goes.
    class Place {
    public:
        Place(Place&& other) noexcept;
        Place& operator=(Place&&) = delete;
        ~Place();

    private:
        friend class ClientAdmission;
        Place(std::unordered_map<asio::ip::address, int>& counts, asio::ip::address source)
            : counts_(&counts), source_(source) {}
        std::unordered_map<asio::ip::address, int>* counts_;
        asio::ip::address source_;
    };

    // `settings` are the server's, read as they are at each decision.
    ClientAdmission(const ServerSettings& settings, AlarmLimiter& alarms);

    // A place for a client from `from` (unmapped) while `connected` clients are served; none
    // when it is turned away.
    std::optional<Place> Admit(const asio::ip::address& from, size_t connected);
    // Once a second: names the outsiders counted since the last "network" alarm once its minute
    // is over.
    void Tick() { ReportOutsiders(); }

    // max_connections, or fewer when the descriptor limit allows fewer.
    int MaxConnections() const;
    // How many of those one client address may hold.
    int MaxConnectionsPerAddress() const;

private:
    void RefuseOutsider(const asio::ip::address& from);
    void ReportOutsiders();

    const ServerSettings& settings_;
    AlarmLimiter& alarms_;
    int descriptorCap_;  // clients the descriptor limit leaves room for
    std::unordered_map<asio::ip::address, int> connectionsPerAddress_;  // by SourceOf
    std::chrono::steady_clock::time_point lastOutsiderAlarm_{};
    uint64_t outsidersSinceAlarm_ = 0;  // clients outside the allowed networks, closed
    asio::ip::address lastOutsider_;
};
