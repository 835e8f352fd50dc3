#pragma once

#include <functional>
#include <mutex>
#include <source_location>
#include <string>

#include "Common/CppSQLite3DB.h"
#include "Common/DatabaseLock.h"

// Where and how one piece of database work connects.
struct DatabaseOptions {
    std::string path;       // empty: GetMainDbPath()
    int busyTimeoutMs = 0;  // 0 or less: DefaultBusyTimeoutMs()
    int lockWaitMs = 0;     // for the database lock; 0 or less: DatabaseLock::WaitLimit()
};

// The busy timeout of connections whose options name none: 60000 ms unless a test shortens it.
int DefaultBusyTimeoutMs();
void SetDefaultBusyTimeoutMs(int milliseconds);

// One hold of the database lock with one fresh connection: the constructor takes the lock
// beside the database (within DatabaseLock::WaitLimit(); the holding thread may nest) and
// opens the database, creating it 0600 when missing; the destructor
// closes the connection (quietly) and then releases the lock, on every path. Throws
// CppSQLite3Exception, also when the lock file cannot be opened (SQLITE_CANTOPEN).
class DatabaseSession {
public:
    explicit DatabaseSession(const DatabaseOptions& options = {});
    DatabaseSession(const DatabaseSession&) = delete;
    DatabaseSession& operator=(const DatabaseSession&) = delete;

    CppSQLite3DB& db() { return db_; }
    // Ends the work; a refusal to close throws ("Unable to close database").
    void close() { db_.close(); }

private:
    DatabaseSession(const DatabaseOptions& options, const std::string& path);

    std::unique_lock<DatabaseLock> lock_;  // declared first: released after the connection closes
    CppSQLite3DB db_;
};

enum class DbFailure { kSilent, kLogError };

// The one way to use the database: runs `work` on a fresh connection inside the database lock
// and one handler for CppSQLite3Exception. Returns true when the work and the close succeeded.
// With kLogError a failure is logged as one ERROR line
//   "sqlite exception, error code: <code name>, error message: <message>"
// tagged with the caller's source file and line.
bool UseDatabase(const std::function<void(CppSQLite3DB&)>& work,
                 DbFailure onFailure = DbFailure::kSilent, const DatabaseOptions& options = {},
                 std::source_location caller = std::source_location::current());

// SQL text from a format string with SQLite's printf: "%q" doubles the single quotes of a text
// put inside quotes, so a stored value can never end the literal early.
std::string SqlFormat(const char* format, ...);

// The ERROR line above, for callers that catch CppSQLite3Exception themselves.
void LogSqliteException(const CppSQLite3Exception& error,
                        std::source_location caller = std::source_location::current());
