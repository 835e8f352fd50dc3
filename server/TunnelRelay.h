#pragma once

#include <asio.hpp>

#include "server/ReadBuffer.h"

class ClientSession;

// Passes bytes both ways between client and upstream until both have ended, starting with
// bytes the client already sent; each direction passes on its end of stream, and the session
// is closed once both have ended. Bulk directions move through a pipe by splice().
asio::awaitable<void> RelayTunnel(ClientSession& session, ReadBuffer& clientBytes);
