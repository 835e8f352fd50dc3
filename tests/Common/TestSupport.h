#pragma once
// What the Common tests share: files and databases in temporary directories, log capture, the probe
// program.
#include <glog/logging.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Common/CppSQLite3DB.h"
#include "tests/support/TempDir.h"

namespace test {

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
