// The SOCKS5 side of the proxy port: method choice, the username/password login, CONNECT.
#include "server/Socks5Session.h"

#include <asio/ip/address.hpp>

#include "server/ClientSession.h"
#include "server/SessionIo.h"
#include "server/Socks5Protocol.h"
#include "server/TunnelRelay.h"
#include "server/metrics/ServerMetrics.h"

namespace {

uint8_t ReplyFor(ConnectResult result) {
    switch (result) {
        case ConnectResult::kConnected:
            return socks5::kSucceeded;
        case ConnectResult::kNotAllowed:
            return socks5::kNotAllowed;
        case ConnectResult::kNoSuchHost:
            return socks5::kHostUnreachable;
        case ConnectResult::kRefused:
            return socks5::kConnectionRefused;
        case ConnectResult::kUnreachable:
            return socks5::kNetworkUnreachable;
        case ConnectResult::kTimedOut:
            return socks5::kTtlExpired;
        case ConnectResult::kFailed:
            break;
    }
    return socks5::kGeneralFailure;
}

// Runs `parse` over the buffered bytes, reading more while it needs more.
template <class Parse>
asio::awaitable<socks5::Parse> ReadMessage(ClientSession& session, ReadBuffer& buffer,
                                           Parse parse) {
    for (;;) {
        size_t used = 0;
        const socks5::Parse result = parse(buffer.View(), used);
        if (result == socks5::Parse::kDone) buffer.Consume(used);
        if (result != socks5::Parse::kNeedMore) co_return result;
        if (!co_await ReadMore(session, session.client, buffer)) co_return socks5::Parse::kBad;
    }
}

// Waits for the client's request and answers it "general failure" without carrying it out.
asio::awaitable<void> RefuseRequest(ClientSession& session, ReadBuffer& buffer) {
    socks5::Request request;
    uint8_t failure = socks5::kGeneralFailure;
    const auto parsed =
        co_await ReadMessage(session, buffer, [&](std::string_view bytes, size_t& used) {
            return socks5::ParseRequest(bytes, request, used, failure);
        });
    if (parsed == socks5::Parse::kDone || failure != socks5::kGeneralFailure) {
        co_await WriteText(session.client, socks5::BuildReply(socks5::kGeneralFailure));
    }
}

}  // namespace

asio::awaitable<void> ServeSocks5(ClientSession& session, ReadBuffer& buffer) {
    SessionHost& server = session.server;
    session.protocol = ClientSession::Protocol::kSocks5;
    socks5::Greeting greeting;
    if (co_await ReadMessage(session, buffer, [&](std::string_view bytes, size_t& used) {
            return socks5::ParseGreeting(bytes, greeting, used);
        }) != socks5::Parse::kDone) {
        co_return;
    }
    // A client that can log in does, so that its traffic is told apart by user.
    uint8_t method = socks5::kNoAcceptable;
    if (greeting.offersUserPassword) {
        method = socks5::kUserPassword;
    } else if (greeting.offersNoAuthentication && server.Settings().anonymousAllowed) {
        method = socks5::kNoAuthentication;
    }
    const char choice[2] = {char(socks5::kVersion), char(method)};
    if (!co_await WriteAll(session.client, {choice, 2})) co_return;
    if (method == socks5::kNoAcceptable) {
        server.RaiseAlarm("socks5", "anonymous client " + session.clientIp + " refused");
        co_return;
    }

    std::string user;
    if (method == socks5::kUserPassword) {
        socks5::Credentials credentials;
        if (co_await ReadMessage(session, buffer, [&](std::string_view bytes, size_t& used) {
                return socks5::ParseCredentials(bytes, credentials, used);
            }) != socks5::Parse::kDone) {
            co_return;
        }
        const LoginAnswer answer = co_await server.CheckPassword(
            session, "socks5", credentials.user, credentials.password);
        // Not checked now is no verdict on the password: the login step passes and the request
        // gets "general failure", which clients show as a server fault, not a wrong password.
        const bool busy = answer == LoginAnswer::kBusy;
        const bool good = answer == LoginAnswer::kAccepted;
        const char status[2] = {char(socks5::kUserPassVersion), char(good || busy ? 0 : 1)};
        if (!co_await WriteAll(session.client, {status, 2}) || !good) {
            if (busy) co_await RefuseRequest(session, buffer);
            co_return;
        }
        user = std::move(credentials.user);
    }
    session.Admit(user);

    socks5::Request request;
    uint8_t failure = socks5::kGeneralFailure;
    const auto parsed =
        co_await ReadMessage(session, buffer, [&](std::string_view bytes, size_t& used) {
            return socks5::ParseRequest(bytes, request, used, failure);
        });
    if (parsed != socks5::Parse::kDone) {
        if (failure != socks5::kGeneralFailure) {
            co_await WriteText(session.client, socks5::BuildReply(failure));
        }
        co_return;
    }
    if (request.command != socks5::kConnect) {
        co_await WriteText(session.client, socks5::BuildReply(socks5::kCommandNotSupported));
        co_return;
    }
    session.SetDestination(request.host, request.port);
    const ConnectResult result = co_await ConnectUpstream(session, request.host, request.port);
    if (result != ConnectResult::kConnected) {
        co_await WriteText(session.client, socks5::BuildReply(ReplyFor(result)));
        co_return;
    }
    asio::error_code error;
    const auto bound = session.upstream.local_endpoint(error);
    std::string address;
    if (!error && bound.address().is_v4()) {
        const auto bytes = bound.address().to_v4().to_bytes();
        address.assign(bytes.begin(), bytes.end());
    } else if (!error) {
        const auto bytes = bound.address().to_v6().to_bytes();
        address.assign(bytes.begin(), bytes.end());
    }
    server.RecordAccess(session, HostPort(request.host, request.port));
    if (!co_await WriteText(session.client,
                            socks5::BuildReply(socks5::kSucceeded, address, bound.port()))) {
        co_return;
    }
    metrics::CountTunnel(metrics::Protocol::kSocks5);
    co_await RelayTunnel(session, buffer);
}
