#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/metrics/Exposition.h"
#include "server/metrics/Metric.h"

// The proxy server's own metrics and the one-line hooks that count them where the server
// already counts things. Until TurnOn (a metrics listener is configured) every hook is one
// relaxed load of a flag and nothing more.
namespace metrics {

enum class Protocol { kHttp, kSocks5 };
enum class Direction { kUpload, kDownload };  // client to destination, and back
enum class Login { kAccepted, kWrong, kThrottled, kRefused };
enum class Refusal { kNetwork, kShare, kLimit };
inline constexpr size_t kAlarmSources = 10;  // the server's alarm sources and "other"

struct ServerMetrics {
    Labeled<Gauge, 2> connections;           // by Protocol, live
    Labeled<Counter, 2> connectionsTotal;    // by Protocol
    Labeled<Counter, 2> bytes;               // by Direction
    Labeled<Counter, 5> responses;           // by status class 1xx..5xx
    Labeled<Counter, 2> tunnels;             // by Protocol
    Labeled<Counter, 4> logins;              // by Login
    Labeled<Counter, 3> refusals;            // by Refusal
    Labeled<Counter, kAlarmSources> alarms;  // by source
    Histogram dnsLookup{{0.001, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10}};
    Histogram requestDuration{{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30}};
};

namespace detail {
extern ServerMetrics server;
extern std::atomic<bool> on;
}  // namespace detail

inline ServerMetrics& Server() {
    return detail::server;
}
inline bool On() {
    return detail::on.load(std::memory_order_relaxed);
}
void TurnOn();

using Clock = std::chrono::steady_clock;

inline void CountBytes(Direction direction, uint64_t count) {
    if (On()) Server().bytes[direction].Add(count);
}
inline void CountTunnel(Protocol protocol) {
    if (On()) Server().tunnels[protocol].Add();
}
inline void CountLogin(Login result) {
    if (On()) Server().logins[result].Add();
}
inline void CountRefusal(Refusal reason) {
    if (On()) Server().refusals[reason].Add();
}
// A response head to an HTTP client, by its status's class (one outside 100-599 is not counted).
void CountResponse(int status);
void CountAlarm(std::string_view source);
// The start of something timed: no clock is read while metrics are off.
inline Clock::time_point Start() {
    return On() ? Clock::now() : Clock::time_point{};
}
// Its end, when it was started with metrics on.
void ObserveSince(Histogram& histogram, Clock::time_point started);

// A live client connection of a protocol, from the first byte that told it to its end.
class LiveConnection {
public:
    explicit LiveConnection(Protocol protocol);
    ~LiveConnection();
    LiveConnection(const LiveConnection&) = delete;
    LiveConnection& operator=(const LiveConnection&) = delete;

private:
    Protocol protocol_;
    bool counted_;
};

// A name look-up, timed from its start to its end (answered, failed or given up).
class TimedLookup {
public:
    TimedLookup() : started_(Start()) {}
    ~TimedLookup() { ObserveSince(Server().dnsLookup, started_); }
    TimedLookup(const TimedLookup&) = delete;
    TimedLookup& operator=(const TimedLookup&) = delete;

private:
    Clock::time_point started_;
};

// What a scrape reads from the running server besides the counters.
struct ScrapeState {
    std::string version;
    int64_t startUnix = 0;
    uint64_t historyRowsLost = 0;
    bool perUser = false;  // metrics_per_user
    // Each account's bytes this month (read only when perUser).
    std::vector<std::pair<std::string, uint64_t>> accountBytes;
};

// Series per account at most: the accounts with the most bytes this month keep a series of
// their own, the rest are summed under the empty name (so are names no scraper could read).
inline constexpr size_t kMaxAccountSeries = 1000;
std::vector<Sample> AccountSeries(std::vector<std::pair<std::string, uint64_t>> accounts,
                                  size_t maxSeries = kMaxAccountSeries);

std::vector<Family> Collect(const ServerMetrics& metrics, const ScrapeState& state);

}  // namespace metrics
