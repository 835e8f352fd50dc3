#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "Common/ControlChannel.h"
#include "server/RateWindow.h"
#include "server/ServerSettings.h"

class ControlledProxy;
class CppSQLite3DB;
class DatabaseWorker;

// The control channel on 127.0.0.1: the console's questions about the proxy (state, traffic,
// rates) and its "applyconf". Only root and the server's own account may connect, a few at a
// time; a connection idle for idle_timeout is ended. Slow answers (large totals, main.db's
// settings) are made off the event loop.
class ControlServer {
public:
    ControlServer(asio::io_context& io, DatabaseWorker& database, ControlledProxy& proxy,
                  uint16_t port);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    uint16_t Port() const { return port_; }
    // Listens on 127.0.0.1:Port(); false with `error` when it cannot.
    bool Open(asio::error_code& error);
    // Accepts and answers connections until Stop.
    void Serve();
    // Stops listening, leaving the connections open (a start that failed after Open).
    void Close();
    // Stops listening and ends every connection.
    void Stop();
    // Once a second: the rate's mark for "bandwidth", and idle connections end.
    void Tick();

private:
    asio::awaitable<void> Accept();
    bool Admit(const asio::ip::tcp::socket& socket);
    asio::awaitable<void> ServeConnection(asio::ip::tcp::socket socket);
    void EndIdle();
    // The reply's body to one request; every command is answered here.
    asio::awaitable<std::string> Answer(control::Command command, std::string argument);
    asio::awaitable<std::string> ApplyConf();
    // "traffic NAME": the account's bytes per day from main.db.
    asio::awaitable<std::string> Traffic(std::string user);
    asio::awaitable<std::string> TotalsOffLoop(bool byIp);
    asio::awaitable<std::string> ConnectionsOffLoop();
    asio::awaitable<std::string> FlowRealtimeOffLoop();
    // nullopt when kApplyConfLimit passed first; an empty result when main.db failed.
    template <class Result>
    asio::awaitable<std::optional<std::optional<Result>>> ReadMainDb(
        std::function<Result(CppSQLite3DB&)> read);
    struct Reloaded {
        std::optional<ServerSettings> settings;
        std::string error;  // why there are none
    };
    asio::awaitable<Reloaded> ReloadSettings();
    std::string SystemStatus() const;

    asio::io_context& io_;
    DatabaseWorker& database_;
    ControlledProxy& proxy_;
    uint16_t port_;
    asio::ip::tcp::acceptor acceptor_;
    bool stopping_ = false;
    // Open connections and when each last asked something.
    std::unordered_map<asio::ip::tcp::socket*, std::chrono::steady_clock::time_point> sockets_;
    std::chrono::steady_clock::time_point lastRefusal_{};
    std::string startTime_;  // what "engine" answers
    std::chrono::steady_clock::time_point started_;
    RateWindow rate_;                      // what "bandwidth" answers
    asio::thread_pool replyBuilder_{1};    // builds large replies off the loop
    asio::thread_pool settingsReader_{1};  // reads main.db: the settings, accounts' days
};
