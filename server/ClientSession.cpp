#include "server/ClientSession.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>

#include "server/SafeText.h"

namespace {

// Longest destination kept for the control channel's list (a SOCKS5 name is at most 255 bytes,
// an HTTP host is bounded only by the request head).
constexpr size_t kMaxDestination = 300;

uint64_t NextId() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

}  // namespace

std::string HostPort(std::string_view host, uint16_t port) {
    const bool literal6 = host.find(':') != std::string_view::npos;
    std::string text = literal6 ? "[" + std::string(host) + "]" : std::string(host);
    return text.append(":").append(std::to_string(port));
}

ClientSession::ClientSession(SessionHost& owner, asio::ip::tcp::socket socket,
                             const asio::ip::address& peer)
    : server(owner),
      client(std::move(socket)),
      upstream(client.get_executor()),
      resolver(client.get_executor()),
      clientIp(peer.to_string()),
      clientIPv4(peer.is_v4() ? peer.to_v4().to_uint() : 0),
      clientLoopback(peer.is_loopback()),
      id(NextId()),
      since(std::time(nullptr)) {
    asio::error_code error;
    // TCP_NODELAY comes from the listener. Non-blocking from the start: the tunnel relay reads
    // and splices without blocking, and Asio need not switch the mode itself.
    client.non_blocking(true, error);
    SetDeadline(server.Settings().handshakeTimeoutSec);
    samples_[0].at = samples_[1].at = Clock::now();
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

void ClientSession::SetDestination(std::string_view host, uint16_t port) {
    destination = SafeText(HostPort(host, port), kMaxDestination);
}

void ClientSession::Moved(uint64_t bytes, metrics::Direction direction) {
    (direction == metrics::Direction::kUpload ? bytesUp_ : bytesDown_) += bytes;
    metrics::CountBytes(direction, bytes);
    if (flow != nullptr) server.Stats().Add(flow, bytes);
    if (meter) Meter(bytes, direction);
    if (phase_ == Phase::kSession) SetDeadline(server.Settings().idleTimeoutSec);
}

void ClientSession::Meter(uint64_t bytes, metrics::Direction direction) {
    if (meter->Add(bytes, direction)) {
        Close();  // the month's traffic is used up: the sweep tells it
    } else if (meter->Paced()) {
        const auto now = Clock::now();
        paceUntil_ = now + meter->Charge(bytes, now);
    }
}

void ClientSession::SampleRate(Clock::time_point now) {
    const uint64_t total = bytesUp_ + bytesDown_;
    const Sample& base = samples_[1];
    // At least a second: a burst just after the accept is no huge rate.
    const double seconds = std::max(1.0, std::chrono::duration<double>(now - base.at).count());
    rate_ = static_cast<uint64_t>(std::llround(static_cast<double>(total - base.bytes) / seconds));
    samples_[1] = samples_[0];
    samples_[0] = {now, total};
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
