// What the server's metrics cost: a hook with metrics off and on, and the page a scrape builds
// on the event loop, with and without 1 000 accounts' series. The "off" cases run first: once
// on, metrics stay on.
#include <benchmark/benchmark.h>

#include "server/metrics/ServerMetrics.h"

namespace {

void CountBytes(benchmark::State& state) {
    for (auto _ : state) metrics::CountBytes(metrics::Direction::kDownload, 1024);
}

void TimedRequest(benchmark::State& state) {
    for (auto _ : state) {
        const auto started = metrics::Start();
        metrics::ObserveSince(metrics::Server().requestDuration, started);
    }
}

void LiveConnection(benchmark::State& state) {
    for (auto _ : state) {
        const metrics::LiveConnection live(metrics::Protocol::kHttp);
        benchmark::DoNotOptimize(&live);
    }
}

void TurnOn(benchmark::State& state) {
    metrics::TurnOn();
    for (auto _ : state) benchmark::DoNotOptimize(metrics::On());
}

void Page(benchmark::State& state) {
    metrics::ScrapeState scrape{"3.0.0", 1796683637, 0, state.range(0) > 0, {}};
    for (int i = 0; i < state.range(0); ++i) {
        scrape.accountBytes.emplace_back("user" + std::to_string(i), 1000000ull * i);
    }
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string page =
            metrics::Write(metrics::Collect(metrics::Server(), scrape), metrics::Format::kText);
        bytes = page.size();
    }
    state.counters["page_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(CountBytes)->Name("hook_off/count_bytes");
BENCHMARK(TimedRequest)->Name("hook_off/timed_request");
BENCHMARK(LiveConnection)->Name("hook_off/live_connection");
BENCHMARK(TurnOn)->Name("turn_on");
BENCHMARK(CountBytes)->Name("hook_on/count_bytes");
BENCHMARK(TimedRequest)->Name("hook_on/timed_request");
BENCHMARK(LiveConnection)->Name("hook_on/live_connection");
BENCHMARK(Page)->Name("page/accounts")->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
