#pragma once

#include <initializer_list>
#include <string_view>

#include "Common/CppSQLite3Exception.h"
#include "Common/CppSQLite3Query.h"

struct sqlite3;
struct sqlite3_stmt;

// A connection to one database file, opened for one piece of work and closed at its end.
// Every failure throws CppSQLite3Exception.
class CppSQLite3DB {
public:
    static constexpr int kDefaultBusyTimeoutMs = 60000;

    CppSQLite3DB() = default;
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    // Closes; an error there is swallowed.
    virtual ~CppSQLite3DB();

    // Opens (creating if missing) for reading and writing, with the busy timeout. SQLite's
    // rollback journal stays on, so a crash in the middle of a write cannot corrupt the file.
    void open(const char* path);
    void close();
    bool isOpen() const { return connection_ != nullptr; }

    // How long SQLite retries while another connection holds a conflicting file lock; used by
    // the next open.
    void setBusyTimeout(int milliseconds) { busyTimeoutMs_ = milliseconds; }
    int busyTimeout() const { return busyTimeoutMs_; }

    // Runs statements that return no rows; returns the rows changed by the last one.
    int execDML(const char* sql);
    // One statement whose "?" parameters are bound, in order, to the given texts. Text with a
    // second statement is refused (kCppSQLiteError) before anything runs.
    int execDML(const char* sql, std::initializer_list<std::string_view> parameters);

    // One statement compiled once and run many times, each time with its own parameters (the
    // rows of a batch: compiling costs more than inserting). Finalized when it goes; it must
    // not outlive its connection.
    class Statement {
    public:
        Statement(Statement&& other) noexcept;
        Statement& operator=(Statement&&) = delete;
        ~Statement();
        // Binds the texts to the "?" in order, runs the statement to its end and makes it ready
        // for the next run; returns the rows changed.
        int execute(std::initializer_list<std::string_view> parameters);

    private:
        friend class CppSQLite3DB;
        Statement(CppSQLite3DB& db, sqlite3_stmt* statement) : db_(&db), statement_(statement) {}
        CppSQLite3DB* db_;
        sqlite3_stmt* statement_;
    };
    // Compiles exactly one statement, as execDML with parameters does.
    Statement prepare(const char* sql);

    // Prepares and takes the first step; the query is at its end when no row came back.
    CppSQLite3Query execQuery(const char* sql);
    CppSQLite3Query execQuery(const char* sql, std::initializer_list<std::string_view> parameters);

    // Whether the file holds a table of this name (readers of optional tables ask first).
    bool tableExists(const char* table);

private:
    void checkOpen() const;
    sqlite3_stmt* compile(const char* sql);
    // Compiles exactly one statement (blanks and comments may follow); throws on more.
    sqlite3_stmt* compileOne(const char* sql);
    // Returns SQLite's error code (SQLITE_OK when all were bound).
    int bind(sqlite3_stmt* statement, std::initializer_list<std::string_view> parameters);
    CppSQLite3Query firstStep(sqlite3_stmt* statement);
    [[noreturn]] void finalizeAndThrow(sqlite3_stmt* statement);

    sqlite3* connection_ = nullptr;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};
