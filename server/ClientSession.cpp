#include "server/ClientSession.h"

#include "server/ProxyServer.h"

namespace {

// IPv4-mapped IPv6 addresses (from the dual-stack listener) as the IPv4 they are.
asio::ip::address Unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

}  // namespace

ClientSession::ClientSession(ProxyServer& owner, asio::ip::tcp::socket socket)
    : server(owner),
      client(std::move(socket)),
      upstream(client.get_executor()),
      resolver(client.get_executor()) {
    asio::error_code error;
    const auto peer = client.remote_endpoint(error);
    if (!error) {
        const auto address = Unmapped(peer.address());
        clientIp = address.to_string();
        clientLoopback = address.is_loopback();
        if (address.is_v4()) clientIPv4 = address.to_v4().to_uint();
    }
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
}

void ClientSession::Moved(uint64_t bytes) {
    if (flow != nullptr) server.Stats().Add(flow, bytes);
    if (phase_ == Phase::kSession) SetDeadline(server.Settings().idleTimeoutSec);
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
