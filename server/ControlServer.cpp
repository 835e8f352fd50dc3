#include "server/ControlServer.h"

#include <glog/logging.h>
#include <json/value.h>
#include <unistd.h>

#include <ctime>

#include "Common/AccountDays.h"
#include "Common/Database.h"
#include "Common/DateTime.h"
#include "server/ControlProtocol.h"
#include "server/ControlReplies.h"
#include "server/ControlledProxy.h"
#include "server/DatabaseWorker.h"
#include "server/Listener.h"
#include "server/OffLoop.h"
#include "server/PeerAccount.h"
#include "server/SessionIo.h"

using asio::ip::tcp;

namespace {

// Connections open at once (the console holds one per window and worker).
constexpr size_t kMaxConnections = 16;
// applyconf answers within this, and waits this long for main.db's lock and for main.db.
constexpr auto kApplyConfLimit = std::chrono::milliseconds(4000);
constexpr int kSettingsWaitMs = 1800;

}  // namespace

ControlServer::ControlServer(asio::io_context& io, DatabaseWorker& database, ControlledProxy& proxy,
                             uint16_t port)
    : io_(io),
      database_(database),
      proxy_(proxy),
      port_(port),
      acceptor_(io),
      startTime_(DateTime::Now().ToString()),
      started_(std::chrono::steady_clock::now()),
      rate_(started_) {}

ControlServer::~ControlServer() = default;

bool ControlServer::Open(asio::error_code& error) {
    return Listen(acceptor_, {asio::ip::make_address_v4("127.0.0.1"), port_}, false, error);
}

void ControlServer::Serve() {
    asio::co_spawn(io_, Accept(), asio::detached);
}

void ControlServer::Close() {
    asio::error_code ignored;
    acceptor_.close(ignored);
}

void ControlServer::Stop() {
    stopping_ = true;
    Close();
    asio::error_code ignored;
    for (const auto& [socket, used] : sockets_) socket->close(ignored);
}

void ControlServer::Tick() {
    rate_.Mark(std::chrono::steady_clock::now(), proxy_.Stats().TotalBytes());
    EndIdle();
}

asio::awaitable<void> ControlServer::Accept() {
    while (!stopping_) {
        auto [error, socket] = co_await acceptor_.async_accept(kNoThrow);
        if (stopping_ || error == asio::error::operation_aborted) break;
        if (!error && Admit(socket)) {
            asio::co_spawn(io_, ServeConnection(std::move(socket)), asio::detached);
        }
    }
}

// The control channel shows account names, client addresses and traffic, and applies the
// configuration: only root and the server's own account (those who can read main.db anyway)
// may use it, with a few connections at once.
bool ControlServer::Admit(const tcp::socket& socket) {
    const auto owner = LocalPeerAccount(socket);
    std::string refusal;
    if (!owner) {
        refusal = "the peer's account is unknown";
    } else if (*owner != 0 && *owner != ::geteuid()) {
        refusal = "account " + std::to_string(*owner) + " may not use it";
    } else if (sockets_.size() >= kMaxConnections) {
        refusal = std::to_string(kMaxConnections) + " are open already";
    }
    if (refusal.empty()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefusal_ >= std::chrono::seconds(10)) {
        lastRefusal_ = now;
        LOG(WARNING) << "control connection refused: " << refusal;
    }
    return false;
}

// A connection that asked nothing for idle_timeout is ended (the console's client reconnects
// when it next asks).
void ControlServer::EndIdle() {
    const auto oldest =
        std::chrono::steady_clock::now() - std::chrono::seconds(proxy_.Settings().idleTimeoutSec);
    asio::error_code ignored;
    for (const auto& [socket, used] : sockets_) {
        if (used < oldest) socket->close(ignored);
    }
}

asio::awaitable<void> ControlServer::ServeConnection(tcp::socket socket) {
    sockets_[&socket] = std::chrono::steady_clock::now();
    std::string pending;
    char chunk[512];
    try {
        for (;;) {
            control::Request request;
            size_t used = 0;
            const auto read = control::ReadRequest(pending, request, used);
            if (read == control::Read::kTooLong) break;
            if (read == control::Read::kRequest) {
                std::string argument(request.argument);  // a view into `pending`
                pending.erase(0, used);
                sockets_[&socket] = std::chrono::steady_clock::now();
                const std::string reply =
                    control::FrameReply(co_await Answer(request.command, std::move(argument)));
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
    sockets_.erase(&socket);
}

asio::awaitable<std::string> ControlServer::Answer(control::Command command, std::string argument) {
    using control::Command;
    switch (command) {
        case Command::kSystem:
            co_return SystemStatus();
        case Command::kStatistic:
            co_return StatisticReply(proxy_.Stats(), database_.AlarmCount());
        case Command::kEngine:
            co_return startTime_;
        case Command::kApplyConf:
            co_return co_await ApplyConf();
        case Command::kFlowRealtime:
            co_return co_await FlowRealtimeOffLoop();
        case Command::kFlowIp:
            co_return co_await TotalsOffLoop(true);
        case Command::kFlowUser:
            co_return co_await TotalsOffLoop(false);
        case Command::kBandwidth:
            co_return BandwidthReply(
                rate_.Answer(std::chrono::steady_clock::now(), proxy_.Stats().TotalBytes()));
        case Command::kConnections:
            co_return co_await ConnectionsOffLoop();
        case Command::kDisconnect:
            if (const auto order = ReadDisconnectOrder(argument)) {
                co_return DisconnectReply(proxy_.Disconnect(*order));
            }
            break;
        case Command::kTraffic:
            co_return co_await Traffic(std::move(argument));
        case Command::kUnknown:
            break;
    }
    co_return ErrorReply(1, "unknown command");
}

// Taken on the loop (numbers from the sweep, the strings of the listed rows), sorted and written
// on the reply builder's thread (named locals only: GCC 12 mishandles temporaries that hold
// captures across co_await).
asio::awaitable<std::string> ControlServer::ConnectionsOffLoop() {
    auto build = [listing = proxy_.ListConnections()] { return ConnectionsReply(*listing); };
    auto submit = PostTo(replyBuilder_);
    co_return co_await RunOffLoop(submit, build);
}

// Each live flow's numbers are copied here (their names are shared), and the reply sorted and
// written on the reply builder's thread.
asio::awaitable<std::string> ControlServer::FlowRealtimeOffLoop() {
    auto build = [flows = proxy_.Stats().LiveFlows()] { return FlowRealtimeReply(*flows); };
    auto submit = PostTo(replyBuilder_);
    co_return co_await RunOffLoop(submit, build);
}

// The totals' numbers are copied here (their names are shared), and the reply sorted and written
// on the reply builder's thread while the loop serves everyone.
asio::awaitable<std::string> ControlServer::TotalsOffLoop(bool byIp) {
    const TrafficStats& stats = proxy_.Stats();
    auto build = [snapshot = (byIp ? stats.ByIp() : stats.ByUser()).Snapshot(), byIp] {
        return TotalsReply(*snapshot, byIp ? "ip" : "user");
    };
    auto submit = PostTo(replyBuilder_);
    co_return co_await RunOffLoop(submit, build);
}

// Read on a thread of its own, not the writer's (which may wait a minute for a locked main.db
// with a batch in hand), with short waits for the lock and the database, and answered within
// kApplyConfLimit whatever main.db does: the console gives up after 5 s.
template <class Result>
asio::awaitable<std::optional<std::optional<Result>>> ControlServer::ReadMainDb(
    std::function<Result(CppSQLite3DB&)> read) {
    DatabaseOptions options = database_.Options();
    options.busyTimeoutMs = options.lockWaitMs = kSettingsWaitMs;
    auto work = [options, read] {
        std::optional<Result> result;
        const bool ok = UseDatabase([&](CppSQLite3DB& db) { result = read(db); },
                                    DbFailure::kLogError, options);
        if (!ok) result.reset();
        return result;
    };
    auto submit = PostTo(settingsReader_);
    auto done = co_await RunOffLoopWithin(submit, work, kApplyConfLimit);
    co_return done;
}

asio::awaitable<ControlServer::Reloaded> ControlServer::ReloadSettings() {
    std::function<ServerSettings(CppSQLite3DB&)> load = LoadServerSettings;
    auto done = co_await ReadMainDb(load);
    if (!done) {
        co_return Reloaded{std::nullopt, "main.db is busy: the configuration was not applied"};
    }
    if (!*done) {
        co_return Reloaded{std::nullopt,
                           "main.db could not be read (busy or failing): the configuration was "
                           "not applied"};
    }
    co_return Reloaded{std::move(*done), {}};
}

// As the settings are read, and for the same reasons. The days are those stored; the sweep
// stores each second's bytes.
asio::awaitable<std::string> ControlServer::Traffic(std::string user) {
    std::function<std::vector<DayTraffic>(CppSQLite3DB&)> read = [user](CppSQLite3DB& db) {
        return ReadAccountDays(db, user, FirstKeptDay(std::time(nullptr)));
    };
    auto done = co_await ReadMainDb(read);
    if (!done || !*done) co_return ErrorReply(1, "main.db could not be read (busy or failing)");
    co_return TrafficReply(user, **done);
}

asio::awaitable<std::string> ControlServer::ApplyConf() {
    auto loaded = co_await ReloadSettings();
    if (!loaded.settings) co_return ErrorReply(1, loaded.error);
    const uint16_t storedPort = loaded.settings->ServedPort();
    proxy_.Apply(std::move(*loaded.settings));
    Json::Value data(Json::objectValue);
    data[control::key::kListenPort] = proxy_.ListenPort();
    data[control::key::kRestartNeeded] = storedPort != proxy_.ListenPort();
    co_return Envelope(data);
}

std::string ControlServer::SystemStatus() const {
    const ServerSettings& settings = proxy_.Settings();
    Json::Value data(Json::objectValue);
    data["status"] = proxy_.Listening() ? "running" : "stopping";
    data["version"] = TORVO_SERVER_VERSION;
    data[control::key::kListenPort] = proxy_.ListenPort();
    data["stored_listen_port"] = settings.ServedPort();
    data["connections"] = static_cast<int>(proxy_.ConnectionCount());
    data["uptime_seconds"] =
        static_cast<Json::Int64>(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::steady_clock::now() - started_)
                                     .count());
    data["anonymous_allowed"] = settings.anonymousAllowed;
    // What never reached main.db (queue full, database failing), in all and by kind.
    data["lost_rows"] = static_cast<Json::UInt64>(database_.DroppedRows());
    data["lost_history_rows"] = static_cast<Json::UInt64>(database_.DroppedHistory());
    data["lost_alarm_rows"] = static_cast<Json::UInt64>(database_.DroppedAlarms());
    data["lost_traffic_bytes"] = static_cast<Json::UInt64>(database_.DroppedTrafficBytes());
    return Envelope(data);
}
