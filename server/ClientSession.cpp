#include "server/ClientSession.h"

ClientSession::ClientSession(SessionHost& owner, asio::ip::tcp::socket socket,
                             const asio::ip::address& peer)
    : server(owner),
      client(std::move(socket)),
      upstream(client.get_executor()),
      resolver(client.get_executor()),
      clientIp(peer.to_string()),
      clientIPv4(peer.is_v4() ? peer.to_v4().to_uint() : 0),
      clientLoopback(peer.is_loopback()) {
    asio::error_code error;
    // TCP_NODELAY comes from the listener. Non-blocking from the start: the tunnel relay reads
    // and splices without blocking, and Asio need not switch the mode itself.
    client.non_blocking(true, error);
    SetDeadline(server.Settings().handshakeTimeoutSec);
    server.Register(this);
}

ClientSession::~ClientSession() {
    if (flow != nullptr) server.Stats().Close(flow);
    server.Unregister(this);
}

void ClientSession::Admit(const std::string& name) {
    if (flow != nullptr && admitted && name == user) return;
    if (flow != nullptr) server.Stats().Close(flow);
    admitted = true;
    user = name;
    flow = server.Stats().Open(clientIp, user);
    meter = server.Meter(user);
}

void ClientSession::Moved(uint64_t bytes) {
    if (flow != nullptr) server.Stats().Add(flow, bytes);
    if (meter) Meter(bytes);
    if (phase_ == Phase::kSession) SetDeadline(server.Settings().idleTimeoutSec);
}

void ClientSession::Meter(uint64_t bytes) {
    if (meter->Add(bytes)) {
        Close();  // the month's traffic is used up: the sweep tells it
    } else if (meter->Paced()) {
        const auto now = Clock::now();
        paceUntil_ = now + meter->Charge(bytes, now);
    }
}

void ClientSession::SetDeadline(int seconds, Phase phase) {
    deadline_ = Clock::now() + std::chrono::seconds(seconds);
    phase_ = phase;
}

void ClientSession::Expire() {
    if (phase_ == Phase::kUpstream && !closed_) {
        upstreamTimedOut = true;
        asio::error_code ignored;
        resolver.Cancel();
        upstream.close(ignored);
        // The session itself still has the handshake time to answer and end.
        SetDeadline(server.Settings().handshakeTimeoutSec);
        return;
    }
    Close();
}

void ClientSession::Close() {
    if (closed_) return;
    closed_ = true;
    asio::error_code ignored;
    resolver.Cancel();
    upstream.close(ignored);
    client.close(ignored);
}
