#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "Common/ControlChannel.h"
#include "server/AccountMeter.h"
#include "server/AlarmLimiter.h"
#include "server/ClientAdmission.h"
#include "server/ControlServer.h"
#include "server/ControlledProxy.h"
#include "server/DatabaseWorker.h"
#include "server/HostAddresses.h"
#include "server/LoginCheck.h"
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
// apart by the first byte) with its clients' admission, the control channel on 127.0.0.1
// (ControlServer), the once-a-second sweep, and the database worker that writes history and
// alarms.
class ProxyServer final : public SessionHost, public ControlledProxy {
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

    uint16_t ListenPort() const override { return listenPort_; }
    uint16_t ControlPort() const { return ports_.control; }
    bool Listening() const override { return proxyAcceptor_.is_open(); }
    // Why Start failed, in a line for the administrator.
    const std::string& StartError() const { return startError_; }

    // max_connections, or fewer when the descriptor limit allows fewer.
    int MaxConnections() const { return admission_.MaxConnections(); }
    // How many of those one client address may hold.
    int MaxConnectionsPerAddress() const { return admission_.MaxConnectionsPerAddress(); }

    // What the sessions ask (SessionHost) and the control server (ControlledProxy). Logins are
    // checked off the loop and throttled (LoginChecker).
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
    size_t ConnectionCount() const override { return sessions_.size(); }
    void Apply(ServerSettings settings) override;
    std::shared_ptr<const ConnectionListing> ListConnections() const override {
        return ranking_.Snapshot(sessions_);
    }
    int Disconnect(const DisconnectOrder& order) override;

private:
    asio::awaitable<LoginAnswer> CheckLogin(const ClientSession& session, const char* protocol,
                                            const std::string& user, const std::string& password);
    bool OpenListeners();
    void OpenMetrics();
    std::string MetricsPage(metrics::Format format) const;
    asio::awaitable<void> AcceptProxy();
    asio::awaitable<void> ServeClient(asio::ip::tcp::socket socket, asio::ip::address from,
                                      ClientAdmission::Place place);
    // Stores the accounts' bytes, tells each account that became unusable, and ends its
    // sessions.
    void SweepAccounts();
    asio::awaitable<void> Tick();

    asio::io_context& io_;
    DatabaseWorker& database_;
    ServerSettings settings_;
    ServerPorts ports_;
    uint16_t listenPort_;
    std::string listenError_;
    std::string startError_;
    asio::ip::tcp::acceptor proxyAcceptor_;
    asio::steady_timer ticker_;
    TrafficStats stats_;
    AccountMeters meters_;
    std::unordered_set<ClientSession*> sessions_;
    ConnectionRanking ranking_;  // the sessions' rates as the sweep measured them
    HostAddresses hostAddresses_;
    AlarmLimiter alarms_;
    ClientAdmission admission_;
    ControlServer control_;
    bool stopping_ = false;
    LoginChecker logins_;
    int64_t startUnix_ = std::time(nullptr);
    std::unique_ptr<MetricsListener> metrics_;  // when metrics_listen names where
};
