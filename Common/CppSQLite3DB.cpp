#include "Common/CppSQLite3DB.h"

#include <sqlite3.h>

#include <string>
#include <utility>

CppSQLite3DB::~CppSQLite3DB() {
    try {
        close();
    } catch (const CppSQLite3Exception&) {
        // Statements still open: let SQLite close once the last of them is finalized.
        sqlite3_close_v2(connection_);
    }
}

void CppSQLite3DB::open(const char* path) {
    close();
    const int result =
        sqlite3_open_v2(path, &connection_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK) {
        const std::string text = connection_ != nullptr ? sqlite3_errmsg(connection_) : "";
        sqlite3_close(connection_);
        connection_ = nullptr;
        throw CppSQLite3Exception(result, text.c_str());
    }
    sqlite3_busy_timeout(connection_, busyTimeoutMs_);
}

void CppSQLite3DB::close() {
    if (connection_ == nullptr) return;
    if (sqlite3_close(connection_) != SQLITE_OK) {
        throw CppSQLite3Exception(CppSQLite3Exception::kCppSQLiteError, "Unable to close database");
    }
    connection_ = nullptr;
}

int CppSQLite3DB::execDML(const char* sql) {
    checkOpen();
    char* error = nullptr;
    const int result = sqlite3_exec(connection_, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK) throw CppSQLite3Exception(result, error, true);
    return sqlite3_changes(connection_);
}

int CppSQLite3DB::execDML(const char* sql, std::initializer_list<std::string_view> parameters) {
    CppSQLite3Query statement = execQuery(sql, parameters);
    while (!statement.eof()) statement.nextRow();
    statement.finalize();
    return sqlite3_changes(connection_);
}

CppSQLite3Query CppSQLite3DB::execQuery(const char* sql) {
    return firstStep(compile(sql));
}

CppSQLite3Query CppSQLite3DB::execQuery(const char* sql,
                                        std::initializer_list<std::string_view> parameters) {
    sqlite3_stmt* statement = compileOne(sql);
    if (const int result = bind(statement, parameters); result != SQLITE_OK) {
        const CppSQLite3Exception error(result, sqlite3_errmsg(connection_));
        sqlite3_finalize(statement);
        throw error;
    }
    return firstStep(statement);
}

CppSQLite3DB::Statement CppSQLite3DB::prepare(const char* sql) {
    return Statement(*this, compileOne(sql));
}

CppSQLite3DB::Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), statement_(std::exchange(other.statement_, nullptr)) {}

CppSQLite3DB::Statement::~Statement() {
    sqlite3_finalize(statement_);
}

int CppSQLite3DB::Statement::execute(std::initializer_list<std::string_view> parameters) {
    db_->checkOpen();
    if (statement_ == nullptr) return 0;  // blanks or a comment: nothing to run
    int result = db_->bind(statement_, parameters);
    if (result == SQLITE_OK) {
        while ((result = sqlite3_step(statement_)) == SQLITE_ROW) {
        }
    }
    // Resetting gives the failed step's error code and readies the statement either way.
    const int reset = sqlite3_reset(statement_);
    if (result != SQLITE_DONE) {
        throw CppSQLite3Exception(reset != SQLITE_OK ? reset : result,
                                  sqlite3_errmsg(db_->connection_));
    }
    return sqlite3_changes(db_->connection_);
}

void CppSQLite3DB::checkOpen() const {
    if (connection_ == nullptr) {
        throw CppSQLite3Exception(CppSQLite3Exception::kCppSQLiteError, "Database not open");
    }
}

sqlite3_stmt* CppSQLite3DB::compile(const char* sql) {
    checkOpen();
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(connection_, sql, -1, &statement, nullptr);
    if (result != SQLITE_OK) throw CppSQLite3Exception(result, sqlite3_errmsg(connection_));
    return statement;
}

sqlite3_stmt* CppSQLite3DB::compileOne(const char* sql) {
    checkOpen();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int result = sqlite3_prepare_v2(connection_, sql, -1, &statement, &tail);
    if (result != SQLITE_OK) throw CppSQLite3Exception(result, sqlite3_errmsg(connection_));
    // Parameters belong to one statement; a second one would be silently dropped, so refuse it.
    // Only blanks and comments may follow (they compile to no statement).
    sqlite3_stmt* next = nullptr;
    result = sqlite3_prepare_v2(connection_, tail, -1, &next, nullptr);
    const bool more = result != SQLITE_OK || next != nullptr;
    sqlite3_finalize(next);
    if (more) {
        sqlite3_finalize(statement);
        throw CppSQLite3Exception(CppSQLite3Exception::kCppSQLiteError,
                                  "Parameters take one statement; more were given");
    }
    return statement;
}

int CppSQLite3DB::bind(sqlite3_stmt* statement,
                       std::initializer_list<std::string_view> parameters) {
    int position = 1;
    for (std::string_view text : parameters) {
        // An empty view may have no data at all; SQLite would bind that as NULL, not as ''.
        const char* data = text.data() != nullptr ? text.data() : "";
        const int result = sqlite3_bind_text64(statement, position++, data, text.size(),
                                               SQLITE_TRANSIENT, SQLITE_UTF8);
        if (result != SQLITE_OK) return result;
    }
    return SQLITE_OK;
}

CppSQLite3Query CppSQLite3DB::firstStep(sqlite3_stmt* statement) {
    // A text without any statement (blank or only a comment) prepares to nothing.
    if (statement == nullptr) return CppSQLite3Query(connection_, nullptr, true);
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) return CppSQLite3Query(connection_, statement, true);
    if (result == SQLITE_ROW) return CppSQLite3Query(connection_, statement, false);
    finalizeAndThrow(statement);
}

// Finalizing a statement whose step failed gives that step's error code.
void CppSQLite3DB::finalizeAndThrow(sqlite3_stmt* statement) {
    const int code = sqlite3_finalize(statement);
    throw CppSQLite3Exception(code, sqlite3_errmsg(connection_));
}

bool CppSQLite3DB::tableExists(const char* table) {
    return execQuery("select count(*) from sqlite_master where type='table' and name=?", {table})
               .getInt64Field(0) > 0;
}
