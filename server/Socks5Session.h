#pragma once

#include <asio.hpp>

#include "server/ReadBuffer.h"

class ClientSession;

// The SOCKS5 side of the proxy port; `buffer` holds what the client sent first.
asio::awaitable<void> ServeSocks5(ClientSession& session, ReadBuffer& buffer);
