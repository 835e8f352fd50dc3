#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/AccountMeter.h"
#include "server/NameResolver.h"
#include "server/SessionHost.h"
#include "server/TrafficStats.h"
#include "server/metrics/ServerMetrics.h"

// "host:port", an IPv6 literal host in brackets.
std::string HostPort(std::string_view host, uint16_t port);

// One client connection of the proxy port, from accept to close. It lives in the frame of
// the coroutine that serves it; the server keeps a pointer while it lives, so that its
// once-a-second sweep can end sessions past their deadline and a configuration change can
// end those whose account went away.
class ClientSession {
public:
    using Clock = std::chrono::steady_clock;
    // What the deadline guards: the session as a whole, or only an upstream step (connecting,
    // waiting for an origin's response head) whose time-out the session answers itself.
    enum class Phase { kSession, kUpstream };

    // `peer` is the client's address as accept() gave it, IPv4-mapped addresses as IPv4.
    ClientSession(SessionHost& server, asio::ip::tcp::socket client, const asio::ip::address& peer);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    SessionHost& server;  // the server that runs it
    asio::ip::tcp::socket client;
    asio::ip::tcp::socket upstream;
    NameLookup resolver;

    std::string clientIp;     // text form; IPv4-mapped addresses as plain IPv4
    uint32_t clientIPv4 = 0;  // 0 for IPv6 clients
    bool clientLoopback = false;

    // How the control channel lists it: a number no other session of this process had, the
    // Unix time it was accepted, what it carries and where to ("host:port", the current
    // request's for a kept-alive HTTP session; empty until one is known).
    enum class Protocol { kHttp, kConnect, kSocks5 };
    const uint64_t id;
    const int64_t since;
    Protocol protocol = Protocol::kHttp;
    std::string destination;
    void SetDestination(std::string_view host, uint16_t port);

    // Who it is once admitted.
    bool admitted = false;
    std::string user;  // empty: anonymous
    TrafficStats::Flow* flow = nullptr;
    std::shared_ptr<AccountMeter> meter;  // null for anonymous clients

    // Counts traffic of the client (the admitted one's against its account, ending the session
    // when it used up its month) and moves the idle deadline.
    void Moved(uint64_t bytes, metrics::Direction direction);
    uint64_t BytesUp() const { return bytesUp_; }
    uint64_t BytesDown() const { return bytesDown_; }
    // Called by the once-a-second sweep; Rate() is then the bytes per second of the two
    // seconds before it (of the time since the accept for a younger session).
    void SampleRate(Clock::time_point now);
    uint64_t Rate() const { return rate_; }
    void Admit(const std::string& name);

    // Sessions of an account with a bandwidth take turns: reads wait until the bytes moved
    // last are paid for, and read at most a paced chunk at once.
    bool Paced() const { return meter && meter->Paced(); }
    // The time the next read of a paced session waits for.
    Clock::time_point PaceUntil() const { return paceUntil_; }

    void SetDeadline(int seconds, Phase phase = Phase::kSession);
    // Called by the sweep: past the deadline?
    bool Expired(Clock::time_point now) const { return now >= deadline_; }
    // An upstream step past its time: that step is cut (the session answers the client);
    // anything else: the session ends.
    void Expire();
    bool upstreamTimedOut = false;

    // Ends the session: both sockets closed, every pending operation completes.
    void Close();
    bool Closed() const { return closed_; }

private:
    void Meter(uint64_t bytes, metrics::Direction direction);

    struct Sample {
        Clock::time_point at;
        uint64_t bytes = 0;
    };
    uint64_t bytesUp_ = 0;
    uint64_t bytesDown_ = 0;
    Sample samples_[2];  // the byte total at the last two sweeps, the latest first
    uint64_t rate_ = 0;

    Clock::time_point paceUntil_{};
    Clock::time_point deadline_;
    Phase phase_ = Phase::kSession;
    bool closed_ = false;
};
