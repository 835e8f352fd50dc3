// The access-history page's work on a generated 1 000 000-row history, in one run: the page's
// fill next to a bare sqlite3_step scan of the same query, sorting the filled rows by each
// column, filtering them by a substring, and the resident memory the filled rows take next to
// the bytes of their own fields.
//   records_bench [--benchmark_filter=...]
#include "bench/BenchSupport.h"
#include "bench/records/HistoryGenerator.h"
#include "ui/pages/records/RecordFill.h"

namespace {

using bench::Db;
using bench::kRows;
using bench::ResidentBytes;

DatabaseOptions Options() {
    return {Db().path(), 0};
}

// The page's rows, filled once for the sort and filter runs.
RecordList<HistoryColumns>& Filled() {
    static auto* list = [] {
        auto* l = new RecordList<HistoryColumns>;
        FillFromDatabase(*l, Options());
        return l;
    }();
    return *list;
}

// Every column read as the page reads it, nothing kept.
void BareStepScan(benchmark::State& state) {
    bench::BareStepScan(state, Db().path(), HistoryColumns::kQuery, kRows,
                        [](sqlite3_stmt* statement) {
                            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 0));
                            benchmark::DoNotOptimize(sqlite3_column_text(statement, 1));
                            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 2));
                            benchmark::DoNotOptimize(sqlite3_column_text(statement, 3));
                            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 4));
                        });
}

// The page's fill (lock, connection, every row into the list); the first one also measures the
// resident memory the rows take.
void PageFill(benchmark::State& state) {
    Db();
    RecordList<HistoryColumns> list;
    const int64_t before = ResidentBytes();
    FillFromDatabase(list, Options());
    const int64_t after = ResidentBytes();
    state.counters["resident_MB"] = static_cast<double>(after - before) / 1e6;
    state.counters["fields_MB"] = static_cast<double>(Db().FieldBytes()) / 1e6;
    state.counters["resident_per_fields"] =
        static_cast<double>(after - before) / static_cast<double>(Db().FieldBytes());
    state.counters["held_per_fields"] =
        static_cast<double>(list.HeldBytes()) / static_cast<double>(Db().FieldBytes());
    for (auto _ : state) {
        FillFromDatabase(list, Options());
        if (list.RowCount() != kRows) state.SkipWithError("wrong row count");
    }
}

// Sorting the filled rows by column N (each run first restores the newest-first order, as a
// fill leaves it, outside the timing).
void SortColumn(benchmark::State& state) {
    RecordList<HistoryColumns>& list = Filled();
    const int column = static_cast<int>(state.range(0));
    bool descending = false;
    for (auto _ : state) {
        list.Sort(column, descending);
        descending = !descending;
    }
    state.SetLabel(column == 0 ? "user" : column == 1 ? "address" : column == 2 ? "url" : "time");
}

void Filter(benchmark::State& state) {
    RecordList<HistoryColumns>& list = Filled();
    static const char* kNeedles[] = {"site47", "192.168.1.", "USER1037", "2025-10-9 8:"};
    const char* needle = kNeedles[state.range(0)];
    for (auto _ : state) {
        list.SetFilter(needle);
        benchmark::DoNotOptimize(list.ShownCount());
    }
    state.counters["shown"] = static_cast<double>(list.ShownCount());
    state.SetLabel(needle);
    list.SetFilter("");
}

BENCHMARK(BareStepScan)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(PageFill)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SortColumn)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(Filter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
