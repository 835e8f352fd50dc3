#include "Common/CppSQLite3Query.h"

#include <sqlite3.h>

#include <cstring>

namespace {

[[noreturn]] void ThrowWrapperError(const char* text) {
    throw CppSQLite3Exception(CppSQLite3Exception::kCppSQLiteError, text);
}

}  // namespace

CppSQLite3Query::CppSQLite3Query(sqlite3* connection, sqlite3_stmt* statement, bool eof)
    : connection_(connection),
      statement_(statement),
      eof_(eof),
      columnCount_(statement != nullptr ? sqlite3_column_count(statement) : 0) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : connection_(other.connection_),
      statement_(other.statement_),
      eof_(other.eof_),
      columnCount_(other.columnCount_) {
    other.statement_ = nullptr;
    other.columnCount_ = 0;
    other.eof_ = true;
}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        finalizeQuietly();
        connection_ = other.connection_;
        statement_ = other.statement_;
        eof_ = other.eof_;
        columnCount_ = other.columnCount_;
        other.statement_ = nullptr;
        other.columnCount_ = 0;
        other.eof_ = true;
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    finalizeQuietly();
}

void CppSQLite3Query::finalizeQuietly() noexcept {
    try {
        finalize();
    } catch (const CppSQLite3Exception&) {
        // A destructor or a move target has nobody to report to.
    }
}

void CppSQLite3Query::nextRow() {
    checkStatement();
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_DONE) {
        eof_ = true;
    } else if (result == SQLITE_ROW) {
        eof_ = false;
    } else {
        const int code = sqlite3_finalize(statement_);
        statement_ = nullptr;
        throw CppSQLite3Exception(code, sqlite3_errmsg(connection_));
    }
}

int CppSQLite3Query::numFields() const {
    checkStatement();
    return columnCount_;
}

int CppSQLite3Query::fieldIndex(const char* name) const {
    checkStatement();
    if (name != nullptr) {
        for (int index = 0; index < columnCount_; ++index) {
            const char* column = sqlite3_column_name(statement_, index);
            if (column != nullptr && std::strcmp(name, column) == 0) return index;
        }
    }
    ThrowWrapperError("Invalid field name requested");
}

int CppSQLite3Query::fieldDataType(int index) const {
    checkIndex(index);
    return eof_ ? kNullStorageClass : sqlite3_column_type(statement_, index);
}

const char* CppSQLite3Query::getStringField(int index, const char* nullValue) const {
    checkIndex(index);
    if (isNull(index)) return nullValue;
    return reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
}

const char* CppSQLite3Query::getStringField(const char* name, const char* nullValue) const {
    return getStringField(fieldIndex(name), nullValue);
}

int CppSQLite3Query::getIntField(int index, int nullValue) const {
    checkIndex(index);
    return isNull(index) ? nullValue : sqlite3_column_int(statement_, index);
}

int CppSQLite3Query::getIntField(const char* name, int nullValue) const {
    return getIntField(fieldIndex(name), nullValue);
}

int64_t CppSQLite3Query::getInt64Field(int index, int64_t nullValue) const {
    checkIndex(index);
    return isNull(index) ? nullValue : sqlite3_column_int64(statement_, index);
}

int64_t CppSQLite3Query::getInt64Field(const char* name, int64_t nullValue) const {
    return getInt64Field(fieldIndex(name), nullValue);
}

void CppSQLite3Query::finalize() {
    if (statement_ == nullptr) return;
    sqlite3_stmt* statement = statement_;
    statement_ = nullptr;  // forgotten before the result is looked at
    eof_ = true;
    const int result = sqlite3_finalize(statement);
    if (result != SQLITE_OK) throw CppSQLite3Exception(result, sqlite3_errmsg(connection_));
}

void CppSQLite3Query::checkStatement() const {
    if (statement_ == nullptr) ThrowWrapperError("Null Virtual Machine pointer");
}

void CppSQLite3Query::checkIndex(int index) const {
    checkStatement();
    if (index < 0 || index >= columnCount_) ThrowWrapperError("Invalid field index requested");
}

bool CppSQLite3Query::isNull(int index) const {
    return eof_ || sqlite3_column_type(statement_, index) == SQLITE_NULL;
}
