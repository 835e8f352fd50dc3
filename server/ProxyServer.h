#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "Common/ControlChannel.h"
#include "server/AccountMeter.h"
#include "server/DatabaseWorker.h"
#include "server/HostAddresses.h"
#include "server/LoginCheck.h"
#include "server/RateWindow.h"
#include "server/ServerSettings.h"
#include "server/SessionHost.h"
#include "server/TrafficStats.h"
#include "server/metrics/MetricsListener.h"

// Where the server listens; the proxy port comes from the settings unless overridden.
struct ServerPorts {
    std::optional<uint16_t> listen;  // overrides listen_port
    uint16_t control = control::kDefaultPort;
};

// The proxy server on one event-loop thread: the proxy port (HTTP, CONNECT and SOCKS5, told
// apart by the first byte), the control channel on 127.0.0.1, the once-a-second sweep, and
// the database worker that writes history and alarms.
class ProxyServer final : public SessionHost {
public:
    ProxyServer(asio::io_context& io, DatabaseWorker& database, ServerSettings settings,
                ServerPorts ports);
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    // Opens both listeners and starts serving. False when either cannot listen (the proxy
    // port failing is also recorded as an alarm): the server then ends with a failure.
    bool Start();
    // Stops accepting and ends every session; the loop then runs out.
    void Stop();

    uint16_t ListenPort() const { return listenPort_; }
    uint16_t ControlPort() const { return ports_.control; }
    bool Listening() const { return proxyAcceptor_.is_open(); }
    // Why Start failed, in a line for the administrator.
    const std::string& StartError() const { return startError_; }

    // max_connections, or fewer when the descriptor limit allows fewer.
    int MaxConnections() const;
    // How many of those one client address may hold.
    int MaxConnectionsPerAddress() const;

    // What the sessions ask (SessionHost). Logins are checked off the loop and throttled
    // (LoginChecker).
    const ServerSettings& Settings() const override { return settings_; }
    TrafficStats& Stats() override { return stats_; }
    asio::awaitable<LoginAnswer> CheckPassword(const ClientSession& session, const char* protocol,
                                               const std::string& user,
                                               const std::string& password) override;
    std::shared_ptr<AccountMeter> Meter(const std::string& user) const override {
        return meters_.Find(user);
    }
    bool Allowed(const ClientSession& session, const asio::ip::address& address,
                 uint16_t port) const override;
    void RecordAccess(const ClientSession& session, std::string url) override;
    void RaiseAlarm(std::string source, std::string message) override;
    void Register(ClientSession* session) override;
    void Unregister(ClientSession* session) override;

private:
    asio::awaitable<LoginAnswer> CheckLogin(const ClientSession& session, const char* protocol,
                                            const std::string& user, const std::string& password);
    bool OpenListeners();
    void OpenMetrics();
    std::string MetricsPage(metrics::Format format) const;
    asio::awaitable<void> AcceptProxy();
    bool Admissible(const asio::ip::address& from);
    void TurnAway(const std::string& why);
    void RefuseOutsider(const asio::ip::address& from);
    void ReportOutsiders();
    asio::awaitable<void> AcceptControl();
    asio::awaitable<void> ServeClient(asio::ip::tcp::socket socket, asio::ip::address from);
    asio::awaitable<void> ServeControl(asio::ip::tcp::socket socket);
    bool AdmitControl(const asio::ip::tcp::socket& socket);
    void EndIdleControl();
    asio::awaitable<std::string> Answer(int command);
    asio::awaitable<std::string> ApplyConf();
    asio::awaitable<std::string> TotalsOffLoop(bool byIp);
    struct Reloaded {
        std::optional<ServerSettings> settings;
        std::string error;  // why there are none
    };
    asio::awaitable<Reloaded> ReloadSettings();
    void Apply(ServerSettings settings);
    // Stores the accounts' bytes, tells each account that became unusable, and ends its
    // sessions.
    void SweepAccounts();
    asio::awaitable<void> Tick();
    std::string SystemStatus() const;
    void ReportLostRows();

    asio::io_context& io_;
    DatabaseWorker& database_;
    ServerSettings settings_;
    ServerPorts ports_;
    uint16_t listenPort_;
    std::string listenError_;
    std::string startError_;
    asio::ip::tcp::acceptor proxyAcceptor_;
    asio::ip::tcp::acceptor controlAcceptor_;
    asio::steady_timer ticker_;
    TrafficStats stats_;
    AccountMeters meters_;
    asio::thread_pool replyBuilder_{1};    // builds large control replies off the loop
    asio::thread_pool settingsReader_{1};  // reads the settings for applyconf
    std::unordered_set<ClientSession*> sessions_;
    std::unordered_map<asio::ip::address, int> connectionsPerAddress_;  // by SourceOf
    HostAddresses hostAddresses_;
    // Control connections and when each last asked something.
    std::unordered_map<asio::ip::tcp::socket*, std::chrono::steady_clock::time_point>
        controlSockets_;
    std::chrono::steady_clock::time_point lastControlRefusal_{};
    std::string startTime_;
    std::chrono::steady_clock::time_point started_;
    RateWindow rate_;  // what "bandwidth" answers
    std::chrono::steady_clock::time_point lastLimitAlarm_{};
    std::chrono::steady_clock::time_point lastOutsiderAlarm_{};
    uint64_t outsidersSinceAlarm_ = 0;  // clients outside the allowed networks, closed
    asio::ip::address lastOutsider_;
    int alarmsThisSecond_ = 0;
    int alarmsSuppressed_ = 0;
    struct LostCounts {
        uint64_t history = 0, alarms = 0, trafficBytes = 0;
        bool operator==(const LostCounts&) const = default;
    } reportedLost_;
    std::chrono::steady_clock::time_point lastLostRowsAlarm_{};
    bool stopping_ = false;
    int descriptorCap_;  // clients the descriptor limit leaves room for
    LoginChecker logins_;
    int64_t startUnix_ = std::time(nullptr);
    std::unique_ptr<MetricsListener> metrics_;  // when metrics_listen names where
};
