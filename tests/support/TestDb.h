#pragma once
// main.db in tests: made from the schema in a temporary folder, changed and read with plain SQL
// through the project's own wrapper. A program that includes this defines TORVO_SCHEMA_FILE.
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Common/CppSQLite3DB.h"
#include "Common/Database.h"
#include "Common/Paths.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

namespace test {

// The message of the wrapper exception `action` throws.
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CppSQLite3Exception& error) {
        return error.errorMessage();
    }
    return "<no exception>";
}

// Runs `sql` on the database file (made when missing).
inline void Sql(const std::string& dbPath, const std::string& sql) {
    CppSQLite3DB db;
    db.open(dbPath.c_str());
    db.execDML(sql.c_str());
}

// Creates the database file with the tables of the schema, then runs `sql` on it.
inline void CreateSchemaDb(const std::string& path, const std::string& sql = "") {
    std::ostringstream schema;
    schema << std::ifstream(TORVO_SCHEMA_FILE).rdbuf() << sql;
    Sql(path, schema.str());
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

// The stored value of one configuration key, "<none>" without a row (or without the table).
inline std::string Value(const std::string& dbPath, const std::string& key) {
    try {
        const auto rows = Rows(dbPath, "select value from configuration where key='" + key + "'");
        if (!rows.empty()) return rows.front();
    } catch (const CppSQLite3Exception&) {
    }
    return "<none>";
}

// A throw-away install folder: main.db with the schema's tables (and `sql` run on it), the
// module directory pointing there; the default busy timeout is put back afterwards.
class ScopedInstall {
public:
    explicit ScopedInstall(const std::string& sql = "") { CreateSchemaDb(Db(), sql); }
    ~ScopedInstall() { SetDefaultBusyTimeoutMs(CppSQLite3DB::kDefaultBusyTimeoutMs); }

    std::string file(const std::string& name) const { return dir_.file(name); }
    std::string Db() const { return dir_.file("main.db"); }
    void Sql(const std::string& sql) const { test::Sql(Db(), sql); }
    std::vector<std::string> Rows(const std::string& sql) const { return test::Rows(Db(), sql); }
    std::string Value(const std::string& key) const { return test::Value(Db(), key); }

private:
    TempDir dir_;
    ScopedOverride<std::string, void (*)(const std::string&)> moduleDir_{
        OverrideModuleDirectory, dir_.path(), std::string()};
};

}  // namespace test
