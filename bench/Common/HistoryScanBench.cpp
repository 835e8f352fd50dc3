// Reading the access history: a bare sqlite3_step scan of a 1 000 000-row history table next to
// the same query through CppSQLite3Query, reading every column by name as the history page
// does. The table is built once per run in a temporary directory.
#include <cstdint>
#include <string>

#include "Common/Database.h"
#include "Common/DatabaseLock.h"
#include "bench/BenchSupport.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr char kHistoryQuery[] =
    "select rowid, user, ip, url, time from history order by time desc";

class HistoryDb {
public:
    HistoryDb() { Fill(); }

    const std::string& path() const { return path_; }

private:
    void Fill() {
        CppSQLite3DB db;
        db.open(path_.c_str());
        db.execDML(
            "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
            "create table history (user text, ip integer, url text, time integer);"
            "begin");
        for (int i = 0; i < kRows; ++i) {
            // Spread times so that "order by time desc" really sorts.
            const uint32_t time = 1700000000u + static_cast<uint32_t>((i * 7919LL) % kRows);
            db.execDML(
                "insert into history (user, ip, url, time) values (?, ?, ?, ?)",
                {"user" + std::to_string(i % 50), std::to_string(0x0A000000 + i % 65536),
                 "http://site" + std::to_string(i % 977) + ".example.com/page/" + std::to_string(i),
                 std::to_string(time)});
        }
        db.execDML("commit");
        db.close();
    }

    bench::ScratchDir dir_;
    std::string path_ = dir_.path() + "/main.db";
};

const HistoryDb& Db() {
    static const HistoryDb db;
    return db;
}

void BareStepScan(benchmark::State& state) {
    bench::BareStepScan(state, Db().path(), kHistoryQuery, kRows, [](sqlite3_stmt* statement) {
        benchmark::DoNotOptimize(sqlite3_column_int64(statement, 0));
        benchmark::DoNotOptimize(sqlite3_column_text(statement, 1));
        benchmark::DoNotOptimize(sqlite3_column_int(statement, 2));
        benchmark::DoNotOptimize(sqlite3_column_text(statement, 3));
        benchmark::DoNotOptimize(sqlite3_column_int(statement, 4));
    });
    state.SetItemsProcessed(state.iterations() * kRows);
}

void WrapperScanByName(benchmark::State& state) {
    const std::string& path = Db().path();
    for (auto _ : state) {
        int64_t rows = 0;
        UseDatabase(
            [&](CppSQLite3DB& db) {
                for (CppSQLite3Query query = db.execQuery(kHistoryQuery); !query.eof();
                     query.nextRow()) {
                    benchmark::DoNotOptimize(query.getInt64Field("rowid"));
                    benchmark::DoNotOptimize(query.getStringField("user"));
                    benchmark::DoNotOptimize(query.getIntField("ip"));
                    benchmark::DoNotOptimize(query.getStringField("url"));
                    benchmark::DoNotOptimize(query.getIntField("time"));
                    ++rows;
                }
            },
            DbFailure::kSilent, DatabaseOptions{path, 0});
        if (rows != kRows) state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BareStepScan)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(WrapperScanByName)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
