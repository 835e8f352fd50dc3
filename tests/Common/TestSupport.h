#pragma once
// What the Common tests share: temporary files and databases, log capture, the probe program.
#include <glog/logging.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Common/CppSQLite3DB.h"

namespace test {

// A fresh directory under the temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/torvo-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(pattern).string();
    }
    ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::error_code ignored_;
};

// Sets an environment variable for a scope and restores (or removes) it on every path; TZ is
// re-read by the C library each time it changes.
class ScopedEnv {
public:
    explicit ScopedEnv(std::string name) : name_(std::move(name)) {
        if (const char* value = getenv(name_.c_str())) saved_ = value;
    }
    ScopedEnv(std::string name, const std::string& value) : ScopedEnv(std::move(name)) {
        Set(value);
    }
    ~ScopedEnv() {
        saved_ ? setenv(name_.c_str(), saved_->c_str(), 1) : unsetenv(name_.c_str());
        tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void Set(const std::string& value) {
        setenv(name_.c_str(), value.c_str(), 1);
        tzset();
    }

private:
    std::string name_;
    std::optional<std::string> saved_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The message of the wrapper exception `action` throws.
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CppSQLite3Exception& error) {
        return error.errorMessage();
    }
    return "<no exception>";
}

// Creates the database file with the tables of the schema, then runs `sql` on it.
inline void CreateSchemaDb(const std::string& path, const std::string& sql = "") {
    std::ostringstream schema;
    schema << std::ifstream(TORVO_SCHEMA_FILE).rdbuf() << sql;
    CppSQLite3DB db;
    db.open(path.c_str());
    db.execDML(schema.str().c_str());
}

// Rows of a query as "a|b|c" (NULL as "NULL"), read with a plain connection.
inline std::vector<std::string> Rows(const std::string& dbPath, const std::string& sql) {
    CppSQLite3DB db;
    db.open(dbPath.c_str());
    std::vector<std::string> rows;
    for (CppSQLite3Query query = db.execQuery(sql.c_str()); !query.eof(); query.nextRow()) {
        std::string row;
        for (int i = 0; i < query.numFields(); ++i)
            row += (i > 0 ? "|" : "") + std::string(query.getStringField(i, "NULL"));
        rows.push_back(row);
    }
    return rows;
}

// Every glog line written on the test's thread while it lives, as "<I|W|E|F> <file>: <text>".
class LogCapture : public google::LogSink {
public:
    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }
    void send(google::LogSeverity severity, const char* file, const char*, int,
              const google::LogMessageTime&, const char* message, size_t length) override {
        lines.push_back(std::string(1, "IWEF"[severity]) + " " + file + ": " +
                        std::string(message, length));
    }
    std::vector<std::string> lines;
};

// The probe program (or a copy of it) started with `arguments`, its output read through a pipe.
class Probe {
public:
    explicit Probe(const std::string& arguments, const std::string& program = TORVO_COMMON_PROBE)
        : pipe_(popen(("exec '" + program + "' " + arguments).c_str(), "r")) {}
    ~Probe() { Close(); }
    std::string Read(int lines = 1000) {
        std::string all;
        char line[512];
        while (lines-- > 0 && pipe_ != nullptr && std::fgets(line, sizeof line, pipe_)) all += line;
        return all;
    }
    int Close() { return pipe_ != nullptr ? pclose(std::exchange(pipe_, nullptr)) : -1; }  // 0: ok

private:
    FILE* pipe_;
};

}  // namespace test
