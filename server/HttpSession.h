#pragma once

#include <asio.hpp>

#include "server/ReadBuffer.h"

class ClientSession;

// The HTTP side of the proxy port; `buffer` holds what the client sent first.
asio::awaitable<void> ServeHttp(ClientSession& session, ReadBuffer& buffer);
