#pragma once

#include <cstdint>

#include "Common/CppSQLite3Exception.h"

struct sqlite3;
struct sqlite3_stmt;

// A result cursor that owns its prepared statement. Moved, never shared: the moved-from query is
// left without a statement. Texts returned by the field accessors are SQLite's own and stay valid
// until the next step or finalize. Every failure throws CppSQLite3Exception.
class CppSQLite3Query {
public:
    // Storage class a column reads as when it is null or when there is no current row.
    static constexpr int kNullStorageClass = 5;

    CppSQLite3Query() = default;
    // Takes ownership of `statement`, which belongs to `connection`.
    CppSQLite3Query(sqlite3* connection, sqlite3_stmt* statement, bool eof);
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    // Finalizes this query's statement first (an error there is swallowed), then takes over.
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    virtual ~CppSQLite3Query();

    bool eof() const { return eof_; }
    void nextRow();
    int numFields() const;

    // Index of the first column named exactly `name` (case-sensitive).
    int fieldIndex(const char* name) const;
    // 1 integer, 2 float, 3 text, 4 blob, 5 null (also for every column when there is no row).
    int fieldDataType(int index) const;

    const char* getStringField(int index, const char* nullValue = "") const;
    const char* getStringField(const char* name, const char* nullValue = "") const;
    int getIntField(int index, int nullValue = 0) const;
    int getIntField(const char* name, int nullValue = 0) const;
    int64_t getInt64Field(int index, int64_t nullValue = 0) const;
    int64_t getInt64Field(const char* name, int64_t nullValue = 0) const;

    // Releases the statement; throws when SQLite reports an error for it.
    void finalize();

private:
    void checkStatement() const;
    void checkIndex(int index) const;
    bool isNull(int index) const;  // after checkIndex
    void finalizeQuietly() noexcept;

    sqlite3* connection_ = nullptr;  // borrowed, for error texts
    sqlite3_stmt* statement_ = nullptr;
    bool eof_ = true;
    int columnCount_ = 0;
};
