#pragma once
// What the benchmark programs share: a scratch folder for the database they build, and the
// bare sqlite3_step scan every reading path is measured against.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace bench {

// A fresh folder under /tmp, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/torvo-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// One timed scan per iteration: `query` stepped with plain SQLite calls, each row handed to
// `readRow` (which reads its columns, keeping nothing); a row count other than `rows` is an error.
template <typename ReadRow>
void BareStepScan(benchmark::State& state, const std::string& path, const char* query, int64_t rows,
                  ReadRow readRow) {
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, query, -1, &statement, nullptr);
        int64_t read = 0;
        for (; sqlite3_step(statement) == SQLITE_ROW; ++read) readRow(statement);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        if (read != rows) state.SkipWithError("wrong row count");
    }
}

}  // namespace bench
