#include "server/ProxyServer.h"

#include <glog/logging.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "server/ClientSession.h"
#include "server/ClientSource.h"
#include "server/HttpSession.h"
#include "server/Listener.h"
#include "server/SafeText.h"
#include "server/SessionIo.h"
#include "server/Socks5Session.h"
#include "server/metrics/ScrapeRequest.h"
#include "server/metrics/ServerMetrics.h"

using asio::ip::tcp;

namespace {

// How long a finished client may take to close its side.
constexpr int kLingerSeconds = 2;
// Longest texts stored in main.db: a URL (longer ones are cut and marked), a user name.
constexpr size_t kMaxStoredUrl = 2048;
constexpr size_t kMaxStoredName = 256;

asio::ip::address Unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

metrics::Login LoginMetric(LoginAnswer::Kind kind) {
    switch (kind) {
        case LoginAnswer::kAccepted:
            return metrics::Login::kAccepted;
        case LoginAnswer::kRefused:
            return metrics::Login::kRefused;
        case LoginAnswer::kBusy:
            return metrics::Login::kThrottled;
        case LoginAnswer::kWrongPassword:
            break;
    }
    return metrics::Login::kWrong;
}

}  // namespace

ProxyServer::ProxyServer(asio::io_context& io, DatabaseWorker& database, ServerSettings settings,
                         ServerPorts ports)
    : io_(io),
      database_(database),
      settings_(std::move(settings)),
      ports_(ports),
      listenPort_(ports.listen.value_or(settings_.ServedPort())),
      proxyAcceptor_(io),
      ticker_(io),
      stats_(std::time(nullptr)),
      alarms_(database),
      admission_(settings_, alarms_),
      control_(io, database, *this, ports.control),
      logins_(io, [this](const std::string& user) -> const ProxyAccount* {
          const auto found = settings_.accounts.find(user);
          return found == settings_.accounts.end() ? nullptr : &found->second;
      }) {
    meters_.Apply(settings_);
    database_.SetRetention(settings_.historyMaxRows, settings_.alarmsMaxRows,
                           settings_.databaseMaxMb << 20);
}

ProxyServer::~ProxyServer() = default;

bool ProxyServer::Start() {
    if (!OpenListeners()) return false;
    OpenMetrics();
    asio::co_spawn(io_, AcceptProxy(), asio::detached);
    control_.Serve();
    asio::co_spawn(io_, Tick(), asio::detached);
    return true;
}

// Both ports or nothing: a server that cannot take clients must fail its start (before it
// reports readiness) rather than look running.
bool ProxyServer::OpenListeners() {
    asio::error_code error;
    if (listenPort_ == ports_.control) {
        listenError_ = "it is the control port";
    } else if (!control_.Open(error)) {
        startError_ =
            "cannot listen on the control port 127.0.0.1:" + std::to_string(ports_.control) + ": " +
            error.message();
        LOG(ERROR) << startError_;
        RaiseAlarm("listen", startError_);
        return false;
    } else if (!Listen(proxyAcceptor_, {asio::ip::address_v6::any(), listenPort_}, true, error) &&
               !Listen(proxyAcceptor_, {asio::ip::address_v4::any(), listenPort_}, false, error)) {
        listenError_ = error.message();
    }
    if (!listenError_.empty()) {
        control_.Close();
        startError_ = "cannot listen on port " + std::to_string(listenPort_) + ": " + listenError_;
        RaiseAlarm("listen", startError_);
        return false;
    }
    LOG(WARNING) << "proxy listening on port " << listenPort_ << ", control channel on "
                 << "127.0.0.1:" << ports_.control;
    return true;
}

void ProxyServer::Stop() {
    stopping_ = true;
    logins_.Stop();
    asio::error_code ignored;
    proxyAcceptor_.close(ignored);
    control_.Stop();
    if (metrics_) metrics_->Close();
    ticker_.cancel();
    for (ClientSession* session : std::vector(sessions_.begin(), sessions_.end())) session->Close();
    for (auto& record : meters_.Collect(std::time(nullptr))) database_.Record(std::move(record));
    asio::use_service<NameResolver>(io_).CancelAll();
}

void ProxyServer::Register(ClientSession* session) {
    sessions_.insert(session);
}
void ProxyServer::Unregister(ClientSession* session) {
    sessions_.erase(session);
}

int ProxyServer::Disconnect(const DisconnectOrder& order) {
    const Disconnected done = DisconnectSessions(sessions_, order);
    RaiseAlarm("admin", done.alarm);
    return done.closed;
}

void ProxyServer::RecordAccess(const ClientSession& session, std::string url) {
    // IPv4 addresses (IPv4-mapped ones too) are written without a colon.
    const bool ipv6 = session.clientIp.find(':') != std::string::npos;
    database_.Record(AccessRecord{SafeText(session.user, kMaxStoredName), session.clientIPv4,
                                  ipv6 ? session.clientIp : std::string(),
                                  SafeText(WithoutUserinfo(url), kMaxStoredUrl),
                                  static_cast<int64_t>(std::time(nullptr))});
}

void ProxyServer::RaiseAlarm(std::string source, std::string message) {
    alarms_.Raise(std::move(source), std::move(message));
}

asio::awaitable<LoginAnswer> ProxyServer::CheckPassword(const ClientSession& session,
                                                        const char* protocol,
                                                        const std::string& user,
                                                        const std::string& password) {
    const LoginAnswer answer = co_await CheckLogin(session, protocol, user, password);
    metrics::CountLogin(LoginMetric(answer.kind));
    co_return answer;
}

asio::awaitable<LoginAnswer> ProxyServer::CheckLogin(const ClientSession& session,
                                                     const char* protocol, const std::string& user,
                                                     const std::string& password) {
    const std::string address = ThrottleKey(session.clientIp);
    const LoginVerdict verdict = co_await logins_.Check(user, password, address);
    if (verdict.result == LoginResult::kBad) {
        RaiseAlarm(protocol, "login of user \"" + user + "\" from " + session.clientIp + " failed");
    }
    if (verdict.blocked.count() > 0) {
        RaiseAlarm("login", "too many failed logins of \"" + user + "\" from " + address +
                                ": its logins are refused for " +
                                std::to_string(verdict.blocked.count()) + " ms");
    }
    if (verdict.result == LoginResult::kBusy) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(verdict.wait).count();
        co_return LoginAnswer{LoginAnswer::kBusy, static_cast<int>(std::max<int64_t>(seconds, 1))};
    }
    if (verdict.result != LoginResult::kGood) co_return LoginAnswer{LoginAnswer::kWrongPassword};
    const auto meter = meters_.Find(user);
    const AccountRefusal refusal =
        meter ? meter->Refusal(std::time(nullptr)) : AccountRefusal::kNone;
    if (refusal == AccountRefusal::kNone) co_return LoginAnswer{LoginAnswer::kAccepted};
    RaiseAlarm(protocol, "login of user \"" + user + "\" from " + session.clientIp +
                             " refused: the account " + meter->Describe(refusal));
    co_return LoginAnswer{LoginAnswer::kRefused};
}

bool ProxyServer::Allowed(const ClientSession& session, const asio::ip::address& address,
                          uint16_t port) const {
    const auto destination = Unmapped(address);
    // Connecting to the unspecified address, or to any address of this host, reaches this
    // machine too; its own ports never (a loop through the proxy port costs CPU per hop).
    const bool local = destination.is_loopback() || destination.is_unspecified() ||
                       hostAddresses_.Owns(destination);
    if (local && (port == ports_.control || port == listenPort_)) return false;
    return !local || session.clientLoopback;
}

asio::awaitable<void> ProxyServer::AcceptProxy() {
    asio::steady_timer pause(io_);
    tcp::endpoint peer;  // filled by accept() itself: no getpeername() per client
    while (!stopping_) {
        auto [error, socket] = co_await proxyAcceptor_.async_accept(peer, kNoThrow);
        if (stopping_ || error == asio::error::operation_aborted) break;
        if (error) {  // out of descriptors or memory: wait rather than spin
            pause.expires_after(std::chrono::milliseconds(100));
            co_await pause.async_wait(kNoThrow);
            continue;
        }
        const auto from = Unmapped(peer.address());
        // Turned away: the socket closes as it goes out of scope, before a byte is read.
        auto place = admission_.Admit(from, sessions_.size());
        if (!place) continue;
        asio::co_spawn(io_, ServeClient(std::move(socket), from, std::move(*place)),
                       asio::detached);
    }
}

// `place` is given back however the session ends.
asio::awaitable<void> ProxyServer::ServeClient(tcp::socket socket, asio::ip::address from,
                                               [[maybe_unused]] ClientAdmission::Place place) {
    ClientSession session(*this, std::move(socket), from);
    ReadBuffer buffer;
    try {
        if (!co_await ReadMore(session, session.client, buffer)) co_return;
        const metrics::LiveConnection live(buffer.View()[0] == 5 ? metrics::Protocol::kSocks5
                                                                 : metrics::Protocol::kHttp);
        if (buffer.View()[0] == 5) {
            co_await ServeSocks5(session, buffer);
        } else {
            co_await ServeHttp(session, buffer);
        }
        // End gracefully: a close with unread bytes would reset the connection and could
        // destroy the last answer (a 407 to a request with a body) before the client reads it.
        if (!session.Closed()) {
            asio::error_code ignored;
            session.client.shutdown(tcp::socket::shutdown_send, ignored);
            session.SetDeadline(kLingerSeconds);
            do {
                buffer.Consume(buffer.Size());
            } while (co_await ReadMore(session, session.client, buffer));
        }
    } catch (const std::exception& error) {
        LOG(ERROR) << "client " << session.clientIp << ": " << error.what();
    }
}

void ProxyServer::Apply(ServerSettings settings) {
    // Sessions of accounts that were deleted or got a new password end now; so do anonymous
    // ones when anonymous access was switched off.
    auto gone = [&](const ClientSession& session) {
        if (session.user.empty()) return !settings.anonymousAllowed;
        const auto before = settings_.accounts.find(session.user);
        const auto after = settings.accounts.find(session.user);
        return after == settings.accounts.end() ||
               (before != settings_.accounts.end() && !before->second.SameLogin(after->second));
    };
    // So do sessions from a network no longer allowed, admitted or not.
    auto outside = [&](const ClientSession& session) {
        asio::error_code error;
        const auto from = asio::ip::make_address(session.clientIp, error);
        return !error && !InNetworks(settings.allowedClients, from);
    };
    // Their remembered credentials go; everyone else's stay.
    std::vector<std::string> changed;
    for (const auto& [user, account] : settings_.accounts) {
        const auto after = settings.accounts.find(user);
        if (after == settings.accounts.end() || !account.SameLogin(after->second)) {
            changed.push_back(user);
        }
    }
    std::vector<ClientSession*> closing;
    for (ClientSession* session : sessions_) {
        if ((session->admitted && gone(*session)) || outside(*session)) {
            closing.push_back(session);
        }
    }
    meters_.Apply(settings);
    settings_ = std::move(settings);
    logins_.Forget(changed);
    database_.SetRetention(settings_.historyMaxRows, settings_.alarmsMaxRows,
                           settings_.databaseMaxMb << 20);
    for (ClientSession* session : closing) session->Close();
    SweepAccounts();  // accounts disabled, expired or given a smaller quota end now
    LOG(WARNING) << "configuration applied: " << settings_.accounts.size() << " accounts, "
                 << "anonymous access " << (settings_.anonymousAllowed ? "on" : "off") << ", "
                 << closing.size() << " sessions ended";
}

asio::awaitable<void> ProxyServer::Tick() {
    while (!stopping_) {
        ticker_.expires_after(std::chrono::seconds(1));
        co_await ticker_.async_wait(kNoThrow);
        if (stopping_) break;
        stats_.Tick(std::time(nullptr));
        hostAddresses_.Refresh();  // interfaces and their addresses come and go
        alarms_.Tick();
        admission_.Tick();
        control_.Tick();
        const auto now = ClientSession::Clock::now();
        std::vector<ClientSession*> expired;
        ranking_.Restart();
        for (ClientSession* session : sessions_) {
            ranking_.Sample(*session, now);
            if (session->Expired(now)) expired.push_back(session);
        }
        for (ClientSession* session : expired) session->Expire();
        SweepAccounts();
    }
}

void ProxyServer::SweepAccounts() {
    const int64_t now = std::time(nullptr);
    for (auto& record : meters_.Collect(now)) database_.Record(std::move(record));
    bool anyRefused = false;
    for (const auto& meter : meters_.All()) {
        const AccountRefusal refusal = meter->Refusal(now);
        anyRefused |= refusal != AccountRefusal::kNone;
        if (meter->Announce(refusal) && refusal != AccountRefusal::kNone) {
            RaiseAlarm("account", "account \"" + meter->Name() + "\" " + meter->Describe(refusal) +
                                      ": its sessions end");
        }
    }
    if (!anyRefused) return;
    std::vector<ClientSession*> refused;
    for (ClientSession* session : sessions_) {
        if (session->meter && session->meter->Refusal(now) != AccountRefusal::kNone) {
            refused.push_back(session);
        }
    }
    for (ClientSession* session : refused) session->Close();
}

// The metrics listener, when metrics_listen names where. A monitor that cannot listen is no
// reason to stop proxying: the failure is a "listen" alarm and the server goes on without it.
void ProxyServer::OpenMetrics() {
    if (settings_.metricsListen.empty()) return;
    const auto endpoint = metrics::ParseListenAddress(settings_.metricsListen);
    std::string error = "it is not an address and port";
    if (endpoint) {
        metrics_ = std::make_unique<MetricsListener>(
            io_,
            MetricsListener::Hooks{[this](const asio::ip::address& from) {
                                       return InNetworks(settings_.allowedClients, from);
                                   },
                                   [this](metrics::Format format) { return MetricsPage(format); },
                                   [this] { return settings_.handshakeTimeoutSec; }});
        if (metrics_->Open(*endpoint, error)) {
            metrics::TurnOn();
            LOG(WARNING) << "metrics on " << settings_.metricsListen;
            return;
        }
        metrics_.reset();
    }
    RaiseAlarm("listen", "cannot serve metrics on " + settings_.metricsListen + ": " + error);
}

std::string ProxyServer::MetricsPage(metrics::Format format) const {
    metrics::ScrapeState state{
        TORVO_SERVER_VERSION, startUnix_, database_.DroppedHistory(), settings_.metricsPerUser, {}};
    if (state.perUser) {
        for (const auto& meter : meters_.All()) {
            state.accountBytes.emplace_back(meter->Name(), meter->Used());
        }
    }
    return metrics::Write(metrics::Collect(metrics::Server(), state), format);
}
