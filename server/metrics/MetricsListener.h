#pragma once

#include <asio.hpp>
#include <functional>
#include <string>
#include <unordered_set>

#include "server/metrics/Exposition.h"

// The metrics listener: answers GET /metrics with the page, anything else with 404, to clients
// the server allows (others are closed before a byte is read). One request per connection,
// whose head must arrive whole within the time the proxy gives a client's first request; a few
// connections at once. It shares nothing with the proxy port but the event loop.
class MetricsListener {
public:
    struct Hooks {
        std::function<bool(const asio::ip::address&)> allowed;  // the client's address
        std::function<std::string(metrics::Format)> page;
        std::function<int()> timeoutSeconds;  // for a whole request and its answer
    };
    static constexpr size_t kMaxConnections = 16;

    MetricsListener(asio::io_context& io, Hooks hooks);
    MetricsListener(const MetricsListener&) = delete;
    MetricsListener& operator=(const MetricsListener&) = delete;

    // Listens on `endpoint` (an unspecified IPv6 address: every address, both families); false
    // with the reason when it cannot.
    bool Open(const asio::ip::tcp::endpoint& endpoint, std::string& error);
    // Stops accepting and ends the open connections.
    void Close();
    asio::ip::tcp::endpoint Endpoint() const;

private:
    asio::awaitable<void> Accept();
    asio::awaitable<void> Serve(asio::ip::tcp::socket socket);

    asio::io_context& io_;
    Hooks hooks_;
    asio::ip::tcp::acceptor acceptor_;
    std::unordered_set<asio::ip::tcp::socket*> open_;
    bool closing_ = false;
};
