#pragma once

#include <asio.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "server/AccountMeter.h"
#include "server/ServerSettings.h"
#include "server/TrafficStats.h"

class ClientSession;

// How a login ended: admitted, a wrong name or password, an account that may not be used now
// (disabled, expired, its month's traffic used up), or not checked now (the source is
// throttled or every checker is busy: ask again after `retryAfterSeconds`).
struct LoginAnswer {
    enum Kind { kAccepted, kWrongPassword, kRefused, kBusy };
    Kind kind = kWrongPassword;
    int retryAfterSeconds = 0;
    bool operator==(Kind other) const { return kind == other; }
};

// What a client session asks of the server that runs it: the settings in force, admission
// (passwords, destinations), traffic figures and account meters, and the records it leaves in
// main.db. The server owns the sessions and ends them; sessions reach it only through this, so that
// calls between the server and its sessions run one way.
class SessionHost {
public:
    virtual const ServerSettings& Settings() const = 0;
    virtual TrafficStats& Stats() = 0;

    // Whether `user` may log in with `password` from this session's client. A failure or
    // refusal is raised as an alarm under `protocol`.
    virtual asio::awaitable<LoginAnswer> CheckPassword(const ClientSession& session,
                                                       const char* protocol,
                                                       const std::string& user,
                                                       const std::string& password) = 0;
    // What an account has used and may use (null for anonymous clients).
    virtual std::shared_ptr<AccountMeter> Meter(const std::string& user) const = 0;
    // May this session's client reach that address and port?
    virtual bool Allowed(const ClientSession& session, const asio::ip::address& address,
                         uint16_t port) const = 0;

    virtual void RecordAccess(const ClientSession& session, std::string url) = 0;
    virtual void RaiseAlarm(std::string source, std::string message) = 0;

    // A session joins the set the server sweeps and ends, from its start to its end.
    virtual void Register(ClientSession* session) = 0;
    virtual void Unregister(ClientSession* session) = 0;

protected:
    ~SessionHost() = default;
};
