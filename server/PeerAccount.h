#pragma once

#include <sys/types.h>

#include <asio.hpp>
#include <optional>

// The account that owns the other end of a TCP connection on this machine. A TCP socket has
// no SO_PEERCRED; the kernel's socket table knows the owner of the peer's socket, found by
// its exact addresses and ports (sock_diag). nullopt when the peer is not on this machine or
// the table cannot be read.
std::optional<uid_t> LocalPeerAccount(const asio::ip::tcp::socket& socket);
