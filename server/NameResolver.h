#pragma once

#include <ares.h>

#include <asio.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Name look-ups on the event loop, over c-ares (ares_getaddrinfo; its sockets are watched by
// the loop and its time-outs run on a loop timer). A look-up never waits for another: a name
// whose DNS server stays silent holds up only the sessions that asked for it. /etc/hosts is
// read first, as the system's resolver does. One per io_context (an Asio service).
//
// Each client address has a share of the look-ups in flight (kLookupsPerClient), counted
// until c-ares ends them, also after the session stopped waiting: beyond it that client's
// look-ups fail at once and everyone else's go on.
//
// TORVO_DNS_SERVER names the DNS servers instead of /etc/resolv.conf ("127.0.0.1:5353", or a
// list as ares_set_servers_ports_csv reads it): the tests' seam.
class NameResolver : public asio::execution_context::service {
public:
    static constexpr int kLookupsPerClient = 64;
    static inline asio::execution_context::id id;

    explicit NameResolver(asio::execution_context& context);
    ~NameResolver() override;

    // One look-up's answer, shared by the waiting session and c-ares' callback.
    struct Query {
        NameResolver* owner = nullptr;
        std::string client;
        uint16_t port = 0;
        bool done = false;
        std::vector<asio::ip::tcp::endpoint> endpoints;  // empty: no such host, or it failed
        asio::steady_timer* waiter = nullptr;            // woken when done; null once nobody waits
    };
    // Starts looking up `host` for the client at address `client`; null when that client's
    // share is used up. The answer may already be there (hosts file) when this returns.
    std::shared_ptr<Query> Start(const std::string& host, uint16_t port, const std::string& client);
    // Ends every look-up in flight, so that the loop can run out (the server stops).
    void CancelAll();

private:
    struct Watch;
    void shutdown() override;
    static void OnSocketState(void* data, ares_socket_t fd, int readable, int writable);
    static void OnAnswer(void* arg, int status, int timeouts, ares_addrinfo* result);
    void Arm(const std::shared_ptr<Watch>& watch, bool write);
    // Lets c-ares act on a ready socket (or on its time-outs), then re-arms the timer.
    void Process(ares_socket_t readable, ares_socket_t writable);
    void ArmTimer();

    asio::io_context& io_;
    ares_channel channel_ = nullptr;
    asio::steady_timer timer_;
    std::unordered_map<ares_socket_t, std::shared_ptr<Watch>> watches_;
    std::unordered_map<std::string, int> inFlight_;  // look-ups per client address
};

// A session's look-up: Resolve() waits for the answer or for Cancel(), whichever comes
// first, so the session's deadline holds whatever the DNS does.
class NameLookup {
public:
    explicit NameLookup(const asio::any_io_executor& executor);
    ~NameLookup();
    NameLookup(const NameLookup&) = delete;
    NameLookup& operator=(const NameLookup&) = delete;

    // The addresses of `host` with `port`: empty when it has none, the look-up failed or it
    // was cancelled.
    asio::awaitable<std::vector<asio::ip::tcp::endpoint>> Resolve(std::string host, uint16_t port,
                                                                  std::string client);
    void Cancel();

private:
    NameResolver& resolver_;
    asio::steady_timer wake_;
    std::shared_ptr<NameResolver::Query> query_;
};
