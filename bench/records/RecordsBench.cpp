// The access-history page's work on a generated 1 000 000-row history, in one run: the page's
// fill next to a bare sqlite3_step scan of the same query, sorting the filled rows by each
// column, filtering them by a substring, and the resident memory the filled rows take next to
// the bytes of their own fields.
//   records_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/pages/records/RecordFill.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr int kUsers = 200;
constexpr int kAddresses = 5'000;
constexpr int kHosts = 3'000;

// Resident memory of this process, from /proc/self/statm.
int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A URL of `length` bytes (20..120): most are HTTPS tunnels ("host:443"), padded with a path
// for plain HTTP ones, as a proxy records them.
std::string MakeUrl(std::mt19937& random, const std::vector<std::string>& hosts) {
    static const char kPathChars[] = "abcdefghijklmnopqrstuvwxyz0123456789/-_.?=&";
    const std::string& host = hosts[random() % hosts.size()];
    const size_t length = 20 + random() % 101;
    std::string url = (random() % 3 == 0) ? host + ":443" : "http://" + host + "/";
    while (url.size() < length) url += kPathChars[random() % (sizeof kPathChars - 1)];
    url.resize(std::max<size_t>(20, std::min(url.size(), length)));
    return url;
}

class HistoryDb {
public:
    HistoryDb() {
        char pattern[] = "/tmp/torvo-records-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        dir_ = pattern;
        path_ = dir_ + "/main.db";
        Generate();
    }
    ~HistoryDb() { std::filesystem::remove_all(dir_); }

    const std::string& path() const { return path_; }
    // The bytes of the rows' own fields: rowid, user, address, URL and time.
    int64_t FieldBytes() const { return fieldBytes_; }

private:
    void Generate() {
        std::mt19937 random(2026);
        std::vector<std::string> users, hosts;
        for (int i = 0; i < kUsers; ++i) users.push_back("user" + std::to_string(1000 + i * 37));
        users[0] = "";  // anonymous clients
        for (int i = 0; i < kHosts; ++i) {
            static const char* kTlds[] = {".com", ".net", ".org", ".cn", ".io"};
            hosts.push_back((i % 4 == 0 ? "www." : i % 4 == 1 ? "cdn" + std::to_string(i % 9) + "."
                                                              : std::string()) +
                            "site" + std::to_string(i * 7919 % 100000) + kTlds[i % 5]);
        }
        std::vector<uint32_t> addresses;
        for (int i = 0; i < kAddresses; ++i) addresses.push_back(0xC0A80000u + random() % 0x30000);

        sqlite3* db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        sqlite3_exec(db,
                     "create table history (user text, ip integer, url text, time integer);"
                     "begin",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into history values (?, ?, ?, ?)", -1, &insert, nullptr);
        int64_t time = 1'760'000'000;
        for (int i = 0; i < kRows; ++i) {
            const std::string& user = users[random() % users.size()];
            const std::string url = MakeUrl(random, hosts);
            time += random() % 3;  // written as they happen: a few accesses per second
            sqlite3_bind_text(insert, 1, user.data(), static_cast<int>(user.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, static_cast<int32_t>(addresses[random() % kAddresses]));
            sqlite3_bind_text(insert, 3, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 4, time);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            fieldBytes_ += 8 + static_cast<int64_t>(user.size()) + 4 + url.size() + 8;
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    std::string dir_;
    std::string path_;
    int64_t fieldBytes_ = 0;
};

const HistoryDb& Db() {
    static const HistoryDb db;
    return db;
}

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
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(Db().path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, HistoryColumns::kQuery, -1, &statement, nullptr);
        int64_t rows = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 0));
            benchmark::DoNotOptimize(sqlite3_column_text(statement, 1));
            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 2));
            benchmark::DoNotOptimize(sqlite3_column_text(statement, 3));
            benchmark::DoNotOptimize(sqlite3_column_int64(statement, 4));
            ++rows;
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        if (rows != kRows) state.SkipWithError("wrong row count");
    }
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
