#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <string>
#include <string_view>

#include "server/ReadBuffer.h"

class ClientSession;

// Completion token that reports errors as values (no exceptions on the data path).
inline constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);

// Waits while the session's account has moved more than its bandwidth allows (see
// ClientSession::Paced); false when the session ended meanwhile.
asio::awaitable<bool> Pace(ClientSession& session);
// One read from the client into the buffer (paced); false at end of stream or on an error.
asio::awaitable<bool> ReadMore(ClientSession& session, asio::ip::tcp::socket& socket,
                               ReadBuffer& buffer);
// Writes all of `bytes` to the socket; false on an error.
asio::awaitable<bool> WriteAll(asio::ip::tcp::socket& socket, std::string_view bytes);
// The same for a text made for the occasion, kept in the coroutine's own frame (g++ 12 may
// destroy temporaries of a co_await expression twice).
asio::awaitable<bool> WriteText(asio::ip::tcp::socket& socket, std::string text);

// Outcome of reaching a destination for a client.
enum class ConnectResult {
    kConnected,
    kNotAllowed,  // loopback for a remote client, or the control port
    kNoSuchHost,
    kRefused,
    kUnreachable,
    kTimedOut,
    kFailed,
};

// Resolves (on the event loop, see NameResolver) and connects the session's upstream socket,
// trying each address the name has; the session's deadline bounds the whole step.
asio::awaitable<ConnectResult> ConnectUpstream(ClientSession& session, const std::string& host,
                                               uint16_t port);
