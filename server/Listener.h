#pragma once

#include <asio.hpp>

// Opens `acceptor` on `endpoint` (both IPv6 and IPv4 when `dualStack`), listening, with
// addresses reused and TCP_NODELAY for what it accepts; closed again on failure.
bool Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& endpoint,
            bool dualStack, asio::error_code& error);
