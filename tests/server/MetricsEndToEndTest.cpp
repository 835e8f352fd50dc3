// The real server's metrics listener: what a scrape shows after real traffic, what Prometheus's
// own tools make of the page and of the shipped examples, and clients that should get nothing
// from it.
#include <json/reader.h>
#include <json/value.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

namespace fs = std::filesystem;

// The program's path when it is installed, else empty.
std::string Program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= rest.size();) {
        const size_t colon = std::min(rest.find(':', start), rest.size());
        const fs::path candidate = fs::path(rest.substr(start, colon - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = colon + 1;
    }
    return {};
}

// `command` with `input` on its standard input: its exit code.
int RunWithInput(const std::string& command, const std::string& input) {
    std::FILE* pipe = ::popen(command.c_str(), "w");
    if (pipe == nullptr) return -1;
    std::fwrite(input.data(), 1, input.size(), pipe);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The value of the sample written exactly as `series` on the page, or -1.
double Value(const std::string& page, const std::string& series) {
    const size_t at = page.find("\n" + series + " ");
    return at == std::string::npos ? -1
                                   : std::strtod(page.c_str() + at + series.size() + 2, nullptr);
}

std::string ExamplesDir() {
    return TORVO_EXAMPLES_DIR;
}

class MetricsEndToEnd : public ServerTest {
protected:
    void StartWithMetrics(Rows configuration = {}) {
        metrics_ = FreePort();
        configuration.emplace_back("anonymous_allow", "0");
        configuration.emplace_back("metrics_listen", "127.0.0.1:" + std::to_string(metrics_));
        Start(configuration);
        ASSERT_TRUE(WaitUntil([&] { return Accepting(metrics_); }));
    }
    std::string MetricsUrl() const {
        return "http://127.0.0.1:" + std::to_string(metrics_) + "/metrics";
    }
    std::string Scrape() const { return Curl(MetricsUrl()).output; }
    // Traffic of every kind: HTTP with a right and a wrong password, a CONNECT tunnel, SOCKS5.
    void SendTraffic() {
        EXPECT_EQ(Curl(Http("alice:secret") + Url("/bytes/100000")).output.size(), 100000u);
        EXPECT_EQ(Status(Http("alice:wrong") + Url("/hello")), "407");
        EXPECT_EQ(Curl("-p " + Http("bob:b0b") + Url("/hello")).output, "hello world");
        // A name: the proxy looks it up.
        EXPECT_EQ(Curl(Socks("bob:b0b") + Url("/hello").replace(7, 9, "localhost")).output,
                  "hello world");
    }

    uint16_t metrics_ = 0;
};

// A scrape after real traffic shows it; every metric the shipped examples and the dashboard
// name is one the server serves, and Prometheus's own tool accepts the page and the examples
// (the formats and the paths answered: the listener's own cases).
TEST_F(MetricsEndToEnd, AScrapeShowsTheTrafficSentAndPrometheusToolsAcceptItAndTheExamples) {
    StartWithMetrics({{"metrics_per_user", "1"}});
    SendTraffic();
    const std::string page = Scrape();
    EXPECT_GE(Value(page, "torvoproxy_bytes_total{direction=\"download\"}"), 100000) << page;
    EXPECT_GT(Value(page, "torvoproxy_bytes_total{direction=\"upload\"}"), 0);
    EXPECT_GE(Value(page, "torvoproxy_http_requests_total{code=\"2xx\"}"), 2);  // GET, CONNECT
    EXPECT_EQ(Value(page, "torvoproxy_http_requests_total{code=\"4xx\"}"), 1);
    EXPECT_EQ(Value(page, "torvoproxy_tunnels_total{protocol=\"http\"}"), 1);
    EXPECT_EQ(Value(page, "torvoproxy_tunnels_total{protocol=\"socks5\"}"), 1);
    EXPECT_EQ(Value(page, "torvoproxy_logins_total{result=\"accepted\"}"), 3);
    EXPECT_EQ(Value(page, "torvoproxy_logins_total{result=\"wrong\"}"), 1);
    EXPECT_EQ(Value(page, "torvoproxy_alarms_total{source=\"http\"}"), 1);
    EXPECT_EQ(Value(page, "torvoproxy_connections_total{protocol=\"socks5\"}"), 1);
    EXPECT_GE(Value(page, "torvoproxy_connections_total{protocol=\"http\"}"), 3);
    EXPECT_GE(Value(page, "torvoproxy_request_duration_seconds_count"), 2);
    EXPECT_GE(Value(page, "torvoproxy_dns_lookup_seconds_count"), 1);
    EXPECT_GE(Value(page, "torvoproxy_account_bytes_month{user=\"alice\"}"), 100000);
    EXPECT_EQ(Value(page, "torvoproxy_history_rows_lost_total"), 0);

    {  // the live gauge follows a tunnel's life
        Client tunnel(listen_);
        ASSERT_TRUE(tunnel.Socks5(origin_.Port(), "bob", "b0b"));
        EXPECT_EQ(Value(Scrape(), "torvoproxy_connections_open{protocol=\"socks5\"}"), 1);
    }
    EXPECT_TRUE(WaitUntil([&] {
        const std::string now = Scrape();
        return Value(now, "torvoproxy_connections_open{protocol=\"socks5\"}") == 0 &&
               Value(now, "torvoproxy_connections_open{protocol=\"http\"}") == 0;
    }));

    std::set<std::string> served;
    const std::regex sample(R"(\n(torvoproxy_\w+))");
    for (std::sregex_iterator it(page.begin(), page.end(), sample), end; it != end; ++it) {
        served.insert(std::regex_replace((*it)[1].str(), std::regex("_(bucket|count|sum)$"), ""));
    }
    for (const char* example : {"torvoproxy-rules.yml", "grafana-dashboard.json"}) {
        std::ifstream file(ExamplesDir() + "/" + example);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        ASSERT_FALSE(text.empty()) << example;
        const std::regex name(R"(torvoproxy_\w+)");
        for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) {
            const std::string used =
                std::regex_replace(it->str(), std::regex("_(bucket|count|sum)$"), "");
            EXPECT_TRUE(served.contains(used)) << example << " names " << used;
        }
    }
    std::ifstream dashboard(ExamplesDir() + "/grafana-dashboard.json");
    Json::Value parsed;
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), dashboard, &parsed, nullptr));
    EXPECT_TRUE(parsed["panels"].isArray() && parsed["panels"].size() > 0);
    // promtool lints the page, checks the shipped alert rules and scrape configuration, and runs
    // its own rule tests: the rules fire on the series they watch.
    const std::string promtool = Program("promtool");
    if (promtool.empty()) return;
    EXPECT_EQ(RunWithInput(promtool + " check metrics", page), 0) << page;
    for (const std::string& check : {"check rules " + ExamplesDir() + "/torvoproxy-rules.yml",
                                     "check config " + ExamplesDir() + "/prometheus.yml",
                                     std::string("test rules " TORVO_RULES_TEST)})
        EXPECT_EQ(std::system((promtool + " " + check).c_str()), 0) << check;
}

// Clients outside the allowed networks get nothing; a request that trickles and more
// connections than allowed are cut like the proxy's own (a head too large: the listener's own
// cases); the proxy port never answers with metrics.
TEST_F(MetricsEndToEnd, HostileClientsGetNothing) {
    StartWithMetrics({{"allowed_networks", "127.0.0.1/32"}, {"handshake_timeout", "2"}});
    const std::string scrape = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
    {
        Client outsider(metrics_, 20s, 0, "127.0.0.2");
        ASSERT_TRUE(outsider.ok());
        outsider.Send(scrape);
        const auto received = outsider.ReceiveToEnd();
        EXPECT_TRUE(!received || received->empty()) << *received;
    }
    {
        Client slow(metrics_);
        slow.Send("GET /metr");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(slow.Closed(10s));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 8s) << "not cut by its time-out";
    }
    {
        std::vector<std::unique_ptr<Client>> idle;
        for (int i = 0; i < 16; ++i) idle.push_back(std::make_unique<Client>(metrics_));
        ASSERT_TRUE(WaitUntil([&] { return Curl(MetricsUrl()).exitCode != 0; }, 5s))
            << "a 17th connection was served";
    }
    EXPECT_NE(Scrape().find("torvoproxy_bytes_total"), std::string::npos) << "served again";

    // The proxy port: an origin-form request is refused, the proxy's own port as destination too.
    EXPECT_EQ(Ask(scrape).substr(0, 12), "HTTP/1.1 400");
    const std::string self = "http://127.0.0.1:" + std::to_string(listen_) + "/metrics";
    EXPECT_EQ(Status(Http("alice:secret") + self), "403");
    // An outsider on the proxy port is counted.
    EXPECT_TRUE(Client(listen_, 20s, 0, "127.0.0.2").Closed(3s));
    EXPECT_TRUE(WaitUntil([&] {
        return Value(Scrape(), "torvoproxy_clients_refused_total{reason=\"network\"}") == 1;
    }));
}

// Metrics cannot be served where metrics_listen says (no address, a port another program
// holds): an alarm tells it, and the proxy serves.
TEST_F(MetricsEndToEnd, AnUnusableMetricsAddressLeavesTheProxyServing) {
    const std::string taken = "127.0.0.1:" + std::to_string(origin_.Port());
    for (const std::string& where : {std::string("nowhere:80"), taken}) {
        Start({{"anonymous_allow", "0"}, {"metrics_listen", where}});
        EXPECT_TRUE(OthersAreServed());
        EXPECT_TRUE(WaitUntil([] {
            return Count(
                       "select count(*) from alarms where source='listen' and "
                       "message like '%metrics%'") >= 1;
        })) << where;
    }
}

}  // namespace
}  // namespace server_test
