#include "server/SessionIo.h"

#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "server/ClientSession.h"

using asio::ip::tcp;

asio::awaitable<bool> Pace(ClientSession& session) {
    if (ClientSession::Clock::now() < session.PaceUntil()) {
        // A timer of its own: both directions of a tunnel may wait at once.
        asio::steady_timer timer(session.client.get_executor(), session.PaceUntil());
        co_await timer.async_wait(kNoThrow);
    }
    co_return !session.Closed();
}

asio::awaitable<bool> ReadMore(ClientSession& session, tcp::socket& socket, ReadBuffer& buffer) {
    if (buffer.Full() || session.Closed()) co_return false;
    auto space = buffer.Space();
    if (session.Paced()) {
        if (!co_await Pace(session)) co_return false;
        space = asio::buffer(space, session.meter->PacedChunk());
    }
    auto [error, count] = co_await socket.async_read_some(space, kNoThrow);
    if (error || count == 0) co_return false;
    buffer.Added(count);
    co_return true;
}

asio::awaitable<bool> WriteAll(tcp::socket& socket, std::string_view bytes) {
    auto [error, count] =
        co_await asio::async_write(socket, asio::buffer(bytes.data(), bytes.size()), kNoThrow);
    co_return !error;
}

asio::awaitable<bool> WriteText(tcp::socket& socket, std::string text) {
    co_return co_await WriteAll(socket, text);
}

namespace {

ConnectResult FromError(const asio::error_code& error) {
    if (error == asio::error::connection_refused) return ConnectResult::kRefused;
    if (error == asio::error::network_unreachable || error == asio::error::host_unreachable) {
        return ConnectResult::kUnreachable;
    }
    if (error == asio::error::timed_out) return ConnectResult::kTimedOut;
    return ConnectResult::kFailed;
}

// Connects a non-blocking socket. Once it turns writable SO_ERROR alone tells the outcome
// (Asio's own connect asks poll() first: one system call more per destination).
asio::awaitable<asio::error_code> Connect(tcp::socket& socket, const tcp::endpoint& endpoint) {
    if (::connect(socket.native_handle(), endpoint.data(), endpoint.size()) == 0)
        co_return asio::error_code{};
    if (errno != EINPROGRESS && errno != EINTR) {
        co_return asio::error_code(errno, asio::system_category());
    }
    auto [waitError] = co_await socket.async_wait(tcp::socket::wait_write, kNoThrow);
    if (waitError) co_return waitError;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    co_return asio::error_code(error, asio::system_category());
}

}  // namespace

asio::awaitable<ConnectResult> ConnectUpstream(ClientSession& session, const std::string& host,
                                               uint16_t port) {
    SessionHost& server = session.server;
    session.upstreamTimedOut = false;
    session.SetDeadline(server.Settings().upstreamTimeoutSec, ClientSession::Phase::kUpstream);
    asio::error_code ignored;
    session.upstream.close(ignored);

    // An address literal needs no resolver.
    std::vector<tcp::endpoint> endpoints;
    asio::error_code notLiteral;
    const auto literal = asio::ip::make_address(host, notLiteral);
    if (!notLiteral) {
        endpoints.emplace_back(literal, port);
    } else {
        endpoints = co_await session.resolver.Resolve(host, port, session.clientIp);
    }
    ConnectResult result = ConnectResult::kNoSuchHost;
    if (!endpoints.empty() && !session.upstreamTimedOut) {
        bool anyAllowed = false;
        for (const auto& endpoint : endpoints) {
            if (!server.Allowed(session, endpoint.address(), endpoint.port())) continue;
            anyAllowed = true;
            session.upstream.close(ignored);
            asio::error_code error;
            session.upstream.open(endpoint.protocol(), error);
            if (error) {  // out of descriptors
                result = ConnectResult::kFailed;
                continue;
            }
            // Set before connecting, as the client's socket has them (see ClientSession).
            session.upstream.set_option(tcp::no_delay(true), ignored);
            session.upstream.non_blocking(true, ignored);
            const asio::error_code connectError = co_await Connect(session.upstream, endpoint);
            if (session.upstreamTimedOut || session.Closed()) break;
            if (!connectError) {
                result = ConnectResult::kConnected;
                break;
            }
            result = FromError(connectError);
        }
        if (!anyAllowed) result = ConnectResult::kNotAllowed;
    }
    if (session.upstreamTimedOut) result = ConnectResult::kTimedOut;
    if (result != ConnectResult::kConnected) session.upstream.close(ignored);
    session.SetDeadline(server.Settings().idleTimeoutSec);
    co_return result;
}
