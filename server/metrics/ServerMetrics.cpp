#include "server/metrics/ServerMetrics.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>

namespace metrics {
namespace {

constexpr std::array<const char*, 2> kProtocols = {"http", "socks5"};
constexpr std::array<const char*, 2> kDirections = {"upload", "download"};
constexpr std::array<const char*, 5> kClasses = {"1xx", "2xx", "3xx", "4xx", "5xx"};
constexpr std::array<const char*, 4> kLogins = {"accepted", "wrong", "throttled", "refused"};
constexpr std::array<const char*, 3> kRefusals = {"network", "share", "limit"};
constexpr std::array<const char*, kAlarmSources> kSources = {
    "http",    "socks5",  "login",    "listen", "limit",
    "network", "account", "database", "admin",  "other"};

template <typename Metric, size_t N>
Family ByLabel(std::string name, std::string help, Kind kind, std::string label,
               const Labeled<Metric, N>& values, const std::array<const char*, N>& names) {
    Family family{std::move(name), std::move(help), kind, std::move(label), {}, {}};
    for (size_t i = 0; i < N; ++i) {
        family.samples.push_back({names[i], static_cast<double>(values.At(i).Value())});
    }
    return family;
}

Family Single(std::string name, std::string help, Kind kind, double value) {
    return Family{std::move(name), std::move(help), kind, {}, {{{}, value}}, {}};
}

Family Timing(std::string name, std::string help, const Histogram& histogram) {
    return Family{std::move(name), std::move(help), Kind::kHistogram, {}, {}, histogram.Read()};
}

}  // namespace

namespace detail {
ServerMetrics server;
std::atomic<bool> on{false};
}  // namespace detail

void TurnOn() {
    detail::on.store(true, std::memory_order_relaxed);
}

void CountResponse(int status) {
    if (On() && status >= 100 && status <= 599) Server().responses[status / 100 - 1].Add();
}

void CountAlarm(std::string_view source) {
    if (!On()) return;
    const auto found = std::find(kSources.begin(), kSources.end() - 1, source);
    Server().alarms[found - kSources.begin()].Add();
}

void ObserveSince(Histogram& histogram, Clock::time_point started) {
    if (started == Clock::time_point{} || !On()) return;
    histogram.Observe(std::chrono::duration<double>(Clock::now() - started).count());
}

LiveConnection::LiveConnection(Protocol protocol) : protocol_(protocol), counted_(On()) {
    if (!counted_) return;
    Server().connections[protocol].Add(1);
    Server().connectionsTotal[protocol].Add();
}

LiveConnection::~LiveConnection() {
    if (counted_) Server().connections[protocol_].Add(-1);
}

std::vector<Sample> AccountSeries(std::vector<std::pair<std::string, uint64_t>> accounts,
                                  size_t maxSeries) {
    // The largest first (by name among equals), so that the series kept do not depend on the
    // order accounts were read in.
    std::sort(accounts.begin(), accounts.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    std::map<std::string, double> series;
    double rest = 0;
    bool anyRest = false;
    const size_t named = accounts.size() <= maxSeries ? maxSeries : maxSeries - 1;
    for (const auto& [name, bytes] : accounts) {
        if (!name.empty() && series.size() < named && LabelValueUsable(name) &&
            !series.contains(name)) {
            series.emplace(name, static_cast<double>(bytes));
        } else {
            rest += static_cast<double>(bytes);
            anyRest = true;
        }
    }
    std::vector<Sample> samples;
    if (anyRest) samples.push_back({std::string(), rest});
    for (auto& [name, bytes] : series) samples.push_back({name, bytes});
    return samples;
}

std::vector<Family> Collect(const ServerMetrics& m, const ScrapeState& state) {
    std::vector<Family> families;
    families.push_back(Family{"torvoproxy_build_info",
                              "The server's version.",
                              Kind::kInfo,
                              "version",
                              {{state.version, 1}},
                              {}});
    families.push_back(Single("torvoproxy_start_time_seconds",
                              "When the server started, in seconds since the Unix epoch.",
                              Kind::kGauge, static_cast<double>(state.startUnix)));
    families.push_back(ByLabel("torvoproxy_connections_open", "Client connections open now.",
                               Kind::kGauge, "protocol", m.connections, kProtocols));
    families.push_back(ByLabel("torvoproxy_connections_total", "Client connections accepted.",
                               Kind::kCounter, "protocol", m.connectionsTotal, kProtocols));
    families.push_back(ByLabel("torvoproxy_bytes_total",
                               "Bytes relayed: upload from clients, download to them.",
                               Kind::kCounter, "direction", m.bytes, kDirections));
    families.push_back(ByLabel("torvoproxy_http_requests_total",
                               "HTTP responses to clients, by status class.", Kind::kCounter,
                               "code", m.responses, kClasses));
    families.push_back(ByLabel("torvoproxy_tunnels_total",
                               "Tunnels opened (SOCKS5 CONNECT and HTTP CONNECT).", Kind::kCounter,
                               "protocol", m.tunnels, kProtocols));
    families.push_back(ByLabel("torvoproxy_logins_total", "Logins with a user name, by result.",
                               Kind::kCounter, "result", m.logins, kLogins));
    families.push_back(ByLabel("torvoproxy_clients_refused_total",
                               "Client connections closed at once: outside the allowed "
                               "networks, over an address's share, over max_connections.",
                               Kind::kCounter, "reason", m.refusals, kRefusals));
    families.push_back(Timing("torvoproxy_dns_lookup_seconds",
                              "Time each name look-up took to be answered, fail or be given up.",
                              m.dnsLookup));
    families.push_back(Timing("torvoproxy_request_duration_seconds",
                              "Time from an HTTP request's head to its response's head.",
                              m.requestDuration));
    families.push_back(Single("torvoproxy_history_rows_lost_total",
                              "History rows that never reached main.db.", Kind::kCounter,
                              static_cast<double>(state.historyRowsLost)));
    families.push_back(ByLabel("torvoproxy_alarms_total", "Alarms raised, by source.",
                               Kind::kCounter, "source", m.alarms, kSources));
    if (state.perUser) {
        families.push_back(Family{"torvoproxy_account_bytes_month",
                                  "Bytes each account moved this calendar month.",
                                  Kind::kGauge,
                                  "user",
                                  AccountSeries(state.accountBytes),
                                  {}});
    }
    return families;
}

}  // namespace metrics
