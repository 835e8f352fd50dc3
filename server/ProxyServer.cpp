#include "server/ProxyServer.h"

#include <glog/logging.h>
#include <json/value.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <vector>

#include "Common/DateTime.h"
#include "server/ClientSession.h"
#include "server/ClientSource.h"
#include "server/ControlProtocol.h"
#include "server/ControlReplies.h"
#include "server/HttpSession.h"
#include "server/OffLoop.h"
#include "server/PeerAccount.h"
#include "server/SafeText.h"
#include "server/SessionIo.h"
#include "server/Socks5Session.h"
#include "server/metrics/ScrapeRequest.h"
#include "server/metrics/ServerMetrics.h"

using asio::ip::tcp;

namespace {

// Alarms beyond this many in one second are counted and reported as one.
constexpr int kAlarmsPerSecond = 20;
// How long a finished client may take to close its side.
constexpr int kLingerSeconds = 2;
// Descriptors kept for everything but clients: listeners, the event loop, main.db and its
// lock, logs, control connections, a destination being connected.
constexpr rlim_t kReservedDescriptors = 64;
// Longest texts stored in main.db or logged: a URL (longer ones are cut and marked), a user
// name or alarm source, an alarm message.
constexpr size_t kMaxStoredUrl = 2048;
constexpr size_t kMaxStoredName = 256;
constexpr size_t kMaxAlarmMessage = 1024;
// Control connections open at once (the console holds one per window and worker).
constexpr size_t kMaxControlConnections = 16;
// applyconf answers within this, and waits this long for main.db's lock and for main.db.
constexpr auto kApplyConfLimit = std::chrono::milliseconds(4000);
constexpr int kSettingsWaitMs = 1800;

// Clients beyond this would find accept() failing for want of descriptors; the cap turns
// them away at once instead (a tunnel needs a second descriptor for its destination, and
// fails cleanly when there is none).
int DescriptorCap() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::numeric_limits<int>::max();
    }
    const rlim_t cap = limit.rlim_cur > 2 * kReservedDescriptors
                           ? limit.rlim_cur - kReservedDescriptors
                           : limit.rlim_cur / 2;
    return static_cast<int>(std::min<rlim_t>(cap, std::numeric_limits<int>::max()));
}

asio::ip::address Unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

bool InNetworks(const ClientNetworks& networks, const asio::ip::address& address) {
    return address.is_v4() ? networks.Allows(address.to_v4().to_uint())
                           : networks.Allows(address.to_v6().to_bytes());
}

bool Listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, bool dualStack,
            asio::error_code& error) {
    asio::error_code ignored;
    acceptor.close(ignored);
    acceptor.open(endpoint.protocol(), error);
    if (error) return false;
    if (dualStack) acceptor.set_option(asio::ip::v6_only(false), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    // Accepted connections inherit it: small answers go out at once.
    if (!error) acceptor.set_option(tcp::no_delay(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) acceptor.close(ignored);
    return !error;
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
      controlAcceptor_(io),
      ticker_(io),
      stats_(std::time(nullptr)),
      startTime_(DateTime::Now().ToString()),
      started_(std::chrono::steady_clock::now()),
      rate_(started_),
      descriptorCap_(DescriptorCap()),
      logins_(io, [this](const std::string& user) -> const ProxyAccount* {
          const auto found = settings_.accounts.find(user);
          return found == settings_.accounts.end() ? nullptr : &found->second;
      }) {
    meters_.Apply(settings_);
    database_.SetRetention(settings_.historyMaxRows, settings_.alarmsMaxRows,
                           settings_.databaseMaxMb << 20);
    if (settings_.maxConnections > descriptorCap_) {
        LOG(WARNING) << "max_connections " << settings_.maxConnections << " exceeds what the "
                     << "descriptor limit allows; at most " << descriptorCap_ << " clients";
    }
}

int ProxyServer::MaxConnections() const {
    return std::min(settings_.maxConnections, descriptorCap_);
}

ProxyServer::~ProxyServer() = default;

bool ProxyServer::Start() {
    if (!OpenListeners()) return false;
    OpenMetrics();
    asio::co_spawn(io_, AcceptProxy(), asio::detached);
    asio::co_spawn(io_, AcceptControl(), asio::detached);
    asio::co_spawn(io_, Tick(), asio::detached);
    return true;
}

// Both ports or nothing: a server that cannot take clients must fail its start (before it
// reports readiness) rather than look running.
bool ProxyServer::OpenListeners() {
    asio::error_code error;
    if (listenPort_ == ports_.control) {
        listenError_ = "it is the control port";
    } else if (!Listen(controlAcceptor_, {asio::ip::make_address_v4("127.0.0.1"), ports_.control},
                       false, error)) {
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
        asio::error_code ignored;
        controlAcceptor_.close(ignored);
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
    controlAcceptor_.close(ignored);
    if (metrics_) metrics_->Close();
    ticker_.cancel();
    for (ClientSession* session : std::vector(sessions_.begin(), sessions_.end())) session->Close();
    for (auto& record : meters_.Collect(std::time(nullptr))) database_.Record(std::move(record));
    asio::use_service<NameResolver>(io_).CancelAll();
    for (const auto& [socket, used] : controlSockets_) socket->close(ignored);
}

void ProxyServer::Register(ClientSession* session) {
    sessions_.insert(session);
}
void ProxyServer::Unregister(ClientSession* session) {
    sessions_.erase(session);
}

void ProxyServer::RecordAccess(const ClientSession& session, std::string url) {
    database_.Record(AccessRecord{SafeText(session.user, kMaxStoredName), session.clientIPv4,
                                  SafeText(WithoutUserinfo(url), kMaxStoredUrl),
                                  static_cast<int64_t>(std::time(nullptr))});
}

void ProxyServer::RaiseAlarm(std::string source, std::string message) {
    metrics::CountAlarm(source);
    if (++alarmsThisSecond_ > kAlarmsPerSecond) {
        ++alarmsSuppressed_;
        return;
    }
    // Messages quote what clients sent (user names, hosts): escaped and cut like history.
    AlarmRecord alarm{SafeText(source, kMaxStoredName), SafeText(message, kMaxAlarmMessage),
                      static_cast<int64_t>(std::time(nullptr))};
    LOG(WARNING) << "alarm (" << alarm.source << "): " << alarm.message;
    database_.Record(std::move(alarm));
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

int ProxyServer::MaxConnectionsPerAddress() const {
    const int share = settings_.maxConnectionsPerIp > 0 ? settings_.maxConnectionsPerIp
                                                        : settings_.maxConnections / 4;
    return std::clamp(share, 1, MaxConnections());
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
        if (!InNetworks(settings_.allowedClients, from)) {
            RefuseOutsider(from);
            continue;
        }
        if (!Admissible(from)) continue;
        asio::co_spawn(io_, ServeClient(std::move(socket), from), asio::detached);
    }
}

// Room for one more client from `from`: within max_connections, and within the share of one
// address, so that one address cannot take every slot from the others.
bool ProxyServer::Admissible(const asio::ip::address& from) {
    if (static_cast<int>(sessions_.size()) >= MaxConnections()) {
        metrics::CountRefusal(metrics::Refusal::kLimit);
        TurnAway("connection limit of " + std::to_string(MaxConnections()) +
                 " reached; new clients are turned away");
        return false;
    }
    // Counted by source, as the login throttle counts: the addresses of one IPv6 /64 together.
    const auto source = SourceOf(from);
    const auto held = connectionsPerAddress_.find(source);
    if (held != connectionsPerAddress_.end() && held->second >= MaxConnectionsPerAddress()) {
        metrics::CountRefusal(metrics::Refusal::kShare);
        TurnAway("client " + from.to_string() + " holds its share of " +
                 std::to_string(MaxConnectionsPerAddress()) + " connections; more are turned away");
        return false;
    }
    ++connectionsPerAddress_[source];
    return true;
}

// Counted, and named in an alarm at most once a minute (a scan would fill the table); the
// once-a-second sweep reports those counted meanwhile when their minute is over.
void ProxyServer::RefuseOutsider(const asio::ip::address& from) {
    metrics::CountRefusal(metrics::Refusal::kNetwork);
    ++outsidersSinceAlarm_;
    lastOutsider_ = from;
    ReportOutsiders();
}

void ProxyServer::ReportOutsiders() {
    const auto now = std::chrono::steady_clock::now();
    if (outsidersSinceAlarm_ == 0 || (lastOutsiderAlarm_.time_since_epoch().count() != 0 &&
                                      now - lastOutsiderAlarm_ < std::chrono::minutes(1))) {
        return;
    }
    lastOutsiderAlarm_ = now;
    std::string message = "client " + lastOutsider_.to_string() +
                          " is outside the allowed networks; its connection was closed";
    if (outsidersSinceAlarm_ > 1) {
        message += " (" + std::to_string(outsidersSinceAlarm_) +
                   " connections from outside closed since the last such alarm)";
    }
    outsidersSinceAlarm_ = 0;
    RaiseAlarm("network", message);
}

void ProxyServer::TurnAway(const std::string& why) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastLimitAlarm_ < std::chrono::seconds(10)) return;
    lastLimitAlarm_ = now;
    RaiseAlarm("limit", why);
}

asio::awaitable<void> ProxyServer::ServeClient(tcp::socket socket, asio::ip::address from) {
    // The address's count drops however the session ends.
    struct Held {
        std::unordered_map<asio::ip::address, int>& counts;
        asio::ip::address from;
        ~Held() {
            if (auto it = counts.find(from); it != counts.end() && --it->second <= 0) {
                counts.erase(it);
            }
        }
    } held{connectionsPerAddress_, SourceOf(from)};
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

asio::awaitable<void> ProxyServer::AcceptControl() {
    while (!stopping_) {
        auto [error, socket] = co_await controlAcceptor_.async_accept(kNoThrow);
        if (stopping_ || error == asio::error::operation_aborted) break;
        if (!error && AdmitControl(socket)) {
            asio::co_spawn(io_, ServeControl(std::move(socket)), asio::detached);
        }
    }
}

// The control channel shows account names, client addresses and traffic, and applies the
// configuration: only root and the server's own account (those who can read main.db anyway)
// may use it, with a few connections at once.
bool ProxyServer::AdmitControl(const tcp::socket& socket) {
    const auto owner = LocalPeerAccount(socket);
    std::string refusal;
    if (!owner) {
        refusal = "the peer's account is unknown";
    } else if (*owner != 0 && *owner != ::geteuid()) {
        refusal = "account " + std::to_string(*owner) + " may not use it";
    } else if (controlSockets_.size() >= kMaxControlConnections) {
        refusal = std::to_string(kMaxControlConnections) + " are open already";
    }
    if (refusal.empty()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastControlRefusal_ >= std::chrono::seconds(10)) {
        lastControlRefusal_ = now;
        LOG(WARNING) << "control connection refused: " << refusal;
    }
    return false;
}

// A control connection that asked nothing for idle_timeout is ended (the console's client
// reconnects when it next asks).
void ProxyServer::EndIdleControl() {
    const auto oldest =
        std::chrono::steady_clock::now() - std::chrono::seconds(settings_.idleTimeoutSec);
    asio::error_code ignored;
    for (const auto& [socket, used] : controlSockets_) {
        if (used < oldest) socket->close(ignored);
    }
}

asio::awaitable<void> ProxyServer::ServeControl(tcp::socket socket) {
    controlSockets_[&socket] = std::chrono::steady_clock::now();
    std::string pending;
    char chunk[512];
    try {
        for (;;) {
            control::Command command;
            size_t used = 0;
            const auto read = control::ReadRequest(pending, command, used);
            if (read == control::Read::kTooLong) break;
            if (read == control::Read::kRequest) {
                pending.erase(0, used);
                controlSockets_[&socket] = std::chrono::steady_clock::now();
                const std::string reply = control::FrameReply(co_await Answer(int(command)));
                if (!co_await WriteAll(socket, reply)) break;
                continue;
            }
            auto [error, count] = co_await socket.async_read_some(asio::buffer(chunk), kNoThrow);
            if (error || count == 0) break;
            pending.append(chunk, count);
        }
    } catch (const std::exception& error) {
        LOG(ERROR) << "control channel: " << error.what();
    }
    controlSockets_.erase(&socket);
}

asio::awaitable<std::string> ProxyServer::Answer(int command) {
    using control::Command;
    switch (static_cast<Command>(command)) {
        case Command::kSystem:
            co_return SystemStatus();
        case Command::kStatistic:
            co_return StatisticReply(stats_, database_.AlarmCount());
        case Command::kEngine:
            co_return startTime_;
        case Command::kApplyConf:
            co_return co_await ApplyConf();
        case Command::kFlowRealtime:
            co_return FlowRealtimeReply(stats_);
        case Command::kFlowIp:
            co_return co_await TotalsOffLoop(true);
        case Command::kFlowUser:
            co_return co_await TotalsOffLoop(false);
        case Command::kBandwidth:
            co_return BandwidthReply(
                rate_.Answer(std::chrono::steady_clock::now(), stats_.TotalBytes()));
        case Command::kConnections:  // not served yet
        case Command::kDisconnect:
        case Command::kTraffic:
        case Command::kUnknown:
            break;
    }
    co_return ErrorReply(1, "unknown command");
}

// A copy of the totals is taken here; the reply is built from it on the reply builder's
// thread while the loop serves everyone (named locals only: GCC 12 mishandles temporaries
// that hold captures across co_await).
asio::awaitable<std::string> ProxyServer::TotalsOffLoop(bool byIp) {
    auto build = [rows = SnapshotTotals(byIp ? stats_.ByIp() : stats_.ByUser()), byIp] {
        return TotalsReply(rows, byIp ? "ip" : "user");
    };
    auto submit = [this](std::function<void()> job) {
        asio::post(replyBuilder_, std::move(job));
        return true;
    };
    co_return co_await RunOffLoop(submit, build);
}

// Read on a thread of its own, not the writer's (which may wait a minute for a locked main.db
// with a batch in hand), with short waits for the lock and the database, and answered within
// kApplyConfLimit whatever main.db does: the console gives up after 5 s.
asio::awaitable<ProxyServer::Reloaded> ProxyServer::ReloadSettings() {
    struct Read {
        explicit Read(asio::io_context& io) : timer(io) {}
        asio::steady_timer timer;
        std::optional<ServerSettings> settings;
        bool done = false;
    };
    const auto read = std::make_shared<Read>(io_);
    read->timer.expires_after(kApplyConfLimit);
    DatabaseOptions options = database_.Options();
    options.busyTimeoutMs = options.lockWaitMs = kSettingsWaitMs;
    asio::post(settingsReader_, [read, options, executor = io_.get_executor()] {
        std::optional<ServerSettings> loaded;
        const bool ok = UseDatabase([&](CppSQLite3DB& db) { loaded = LoadServerSettings(db); },
                                    DbFailure::kLogError, options);
        if (!ok) loaded.reset();
        asio::post(executor, [read, loaded = std::move(loaded)]() mutable {
            read->settings = std::move(loaded);
            read->done = true;
            read->timer.cancel();
        });
    });
    co_await read->timer.async_wait(kNoThrow);
    if (!read->done) {
        co_return Reloaded{std::nullopt, "main.db is busy: the configuration was not applied"};
    }
    if (!read->settings) {
        co_return Reloaded{std::nullopt,
                           "main.db could not be read (busy or failing): the configuration was "
                           "not applied"};
    }
    co_return Reloaded{std::move(read->settings), {}};
}

asio::awaitable<std::string> ProxyServer::ApplyConf() {
    auto loaded = co_await ReloadSettings();
    if (!loaded.settings) co_return ErrorReply(1, loaded.error);
    const uint16_t storedPort = loaded.settings->ServedPort();
    Apply(std::move(*loaded.settings));
    Json::Value data(Json::objectValue);
    data[control::key::kListenPort] = listenPort_;
    data[control::key::kRestartNeeded] = storedPort != listenPort_;
    co_return Envelope(data);
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
        rate_.Mark(std::chrono::steady_clock::now(), stats_.TotalBytes());
        if (alarmsSuppressed_ > 0) {
            const int suppressed = alarmsSuppressed_;
            alarmsSuppressed_ = 0;
            alarmsThisSecond_ = 0;
            RaiseAlarm("limit",
                       std::to_string(suppressed) + " more alarms in one second not recorded");
        }
        alarmsThisSecond_ = 0;
        ReportLostRows();
        ReportOutsiders();
        EndIdleControl();
        const auto now = ClientSession::Clock::now();
        std::vector<ClientSession*> expired;
        for (ClientSession* session : sessions_) {
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

// What was lost is told as an alarm (at most one a minute; it reaches main.db once writing
// works again) besides the "lost_..." counts in "system".
void ProxyServer::ReportLostRows() {
    const LostCounts lost{database_.DroppedHistory(), database_.DroppedAlarms(),
                          database_.DroppedTrafficBytes()};
    const auto now = std::chrono::steady_clock::now();
    if (lost == reportedLost_ || now - lastLostRowsAlarm_ < std::chrono::minutes(1)) return;
    lastLostRowsAlarm_ = now;
    RaiseAlarm("database",
               std::to_string(lost.history - reportedLost_.history) + " history rows, " +
                   std::to_string(lost.alarms - reportedLost_.alarms) + " alarm rows and " +
                   std::to_string(lost.trafficBytes - reportedLost_.trafficBytes) +
                   " bytes of accounts' traffic could not be stored");
    reportedLost_ = lost;
}

std::string ProxyServer::SystemStatus() const {
    Json::Value data(Json::objectValue);
    data["status"] = Listening() ? "running" : "stopping";
    data["version"] = TORVO_SERVER_VERSION;
    data[control::key::kListenPort] = listenPort_;
    data["stored_listen_port"] = settings_.ServedPort();
    data["connections"] = static_cast<int>(sessions_.size());
    data["uptime_seconds"] =
        static_cast<Json::Int64>(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::steady_clock::now() - started_)
                                     .count());
    data["anonymous_allowed"] = settings_.anonymousAllowed;
    // What never reached main.db (queue full, database failing), in all and by kind.
    data["lost_rows"] = static_cast<Json::UInt64>(database_.DroppedRows());
    data["lost_history_rows"] = static_cast<Json::UInt64>(database_.DroppedHistory());
    data["lost_alarm_rows"] = static_cast<Json::UInt64>(database_.DroppedAlarms());
    data["lost_traffic_bytes"] = static_cast<Json::UInt64>(database_.DroppedTrafficBytes());
    return Envelope(data);
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
