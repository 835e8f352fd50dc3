#include "Common/Database.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <system_error>

#include "Common/Global.h"
#include "Common/Paths.h"
#include "Common/SourcePath.h"

namespace {

std::atomic<int> defaultBusyTimeoutMs{CppSQLite3DB::kDefaultBusyTimeoutMs};

std::unique_lock<DatabaseLock> TakeDatabaseLock(const std::string& databasePath, int waitMs) {
    DatabaseLock& lock = Global::instance().dbLock();
    try {
        lock.lock(databasePath,
                  waitMs > 0 ? std::chrono::milliseconds(waitMs) : DatabaseLock::WaitLimit());
        return std::unique_lock<DatabaseLock>(lock, std::adopt_lock);
    } catch (const std::system_error& error) {
        // Reported like any other database failure, so the caller's one handler sees it.
        const std::string text = "cannot take the database lock " +
                                 DatabaseLockPathFor(databasePath) + ": " + error.what();
        throw CppSQLite3Exception(14 /* SQLITE_CANTOPEN */, text.c_str());
    }
}

}  // namespace

int DefaultBusyTimeoutMs() {
    return defaultBusyTimeoutMs.load();
}

void SetDefaultBusyTimeoutMs(int milliseconds) {
    defaultBusyTimeoutMs.store(milliseconds);
}

DatabaseSession::DatabaseSession(const DatabaseOptions& options)
    : DatabaseSession(options, options.path.empty() ? GetMainDbPath() : options.path) {}

DatabaseSession::DatabaseSession(const DatabaseOptions& options, const std::string& path)
    : lock_(TakeDatabaseLock(path, options.lockWaitMs)) {
    db_.setBusyTimeout(options.busyTimeoutMs > 0 ? options.busyTimeoutMs : DefaultBusyTimeoutMs());
    // The database holds the accounts' digests: a new one is readable by its owner alone
    // (SQLite gives its journal the same mode). An empty file is an empty database.
    const int made = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made >= 0) ::close(made);
    db_.open(path.c_str());
    // The journal is emptied after a write, not deleted: a sandboxed server may write the
    // files of the database but create none in their folder.
    db_.execDML("PRAGMA journal_mode=TRUNCATE");
}

bool UseDatabase(const std::function<void(CppSQLite3DB&)>& work, DbFailure onFailure,
                 const DatabaseOptions& options, std::source_location caller) {
    try {
        DatabaseSession session(options);
        work(session.db());
        session.close();
        return true;
    } catch (const CppSQLite3Exception& error) {
        if (onFailure == DbFailure::kLogError) LogSqliteException(error, caller);
        return false;
    }
}

void LogSqliteException(const CppSQLite3Exception& error, std::source_location caller) {
    const char* message = error.errorMessage();
    google::LogMessage(SourcePath(caller.file_name()), static_cast<int>(caller.line()),
                       google::GLOG_ERROR)
            .stream()
        << "sqlite exception, error code: "
        << CppSQLite3Exception::errorCodeAsString(error.errorCode())
        << ", error message: " << (message != nullptr ? message : "");
}

std::string SqlFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char* text = sqlite3_vmprintf(format, arguments);
    va_end(arguments);
    if (text == nullptr) throw CppSQLite3Exception(7 /* SQLITE_NOMEM */, "out of memory");
    std::string sql(text);
    sqlite3_free(text);
    return sql;
}
