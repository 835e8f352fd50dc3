// backup, restore: main.db copied with SQLite's online backup, under the database lock.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "Common/Database.h"
#include "Common/ExportFile.h"
#include "Common/MainTables.h"
#include "Common/Paths.h"
#include "Common/PrivateFiles.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"

namespace {

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

Connection Open(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    Connection connection(db);
    if (rc != SQLITE_OK) throw std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(db, DefaultBusyTimeoutMs());
    return connection;
}

// Every page of `from` into `to` in one step: a consistent copy.
void Copy(sqlite3* from, sqlite3* to) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (backup == nullptr) throw std::runtime_error(sqlite3_errmsg(to));
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE || finished != SQLITE_OK)
        throw std::runtime_error(sqlite3_errstr(stepped != SQLITE_DONE ? stepped : finished));
}

// The first column of every row of `sql`.
std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement, sqlite3_finalize);
    std::vector<std::string> values;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(statement, 0);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    return values;
}

// A column an older main.db lacks until it is upgraded.
bool Added(const std::string& table, const std::string& column) {
    return std::any_of(kAddedColumns.begin(), kAddedColumns.end(), [&](const AddedColumn& added) {
        return table == added.table && column == added.column;
    });
}

// Why `db` is no main.db: damaged, or a table or column of the shared tables missing.
std::string Problem(sqlite3* db) {
    const std::vector<std::string> integrity = Column(db, "pragma integrity_check");
    if (integrity != std::vector<std::string>{"ok"})
        return integrity.empty() ? "integrity check failed" : integrity.front();
    const Connection expected = Open(":memory:", SQLITE_OPEN_READWRITE);
    if (sqlite3_exec(expected.get(), kMainTablesSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(expected.get()));
    for (const std::string& table :
         Column(expected.get(), "select name from sqlite_master where type='table'")) {
        // The names come from the compiled-in schema, not from the file.
        const std::string columns = "select name from pragma_table_info('" + table + "')";
        const std::vector<std::string> present = Column(db, columns);
        const std::set<std::string> have(present.begin(), present.end());
        for (const std::string& column : Column(expected.get(), columns)) {
            if (!have.contains(column) && !Added(table, column))
                return "no column " + table + "." + column;
        }
    }
    return {};
}

// A file made for this account only (0600, not through a link, in a folder nobody else may
// write to), removed again unless kept.
class NewFile {
public:
    explicit NewFile(std::string path) : path_(std::move(path)) {
        ExportFile file;
        if (!file.Open(path_) || !file.Close())
            Refuse(res::IDS_CTL_FILE_FAILED, {path_, file.Error()});
        made_ = true;
    }
    ~NewFile() {
        if (made_ && !kept_) ::unlink(path_.c_str());
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    const std::string& path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool made_ = false;
    bool kept_ = false;
};

std::string Stamp() {
    char text[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

void BackupDatabase(const std::string& file) {
    NewFile temporary(file + ".tmp-" + std::to_string(::getpid()));
    try {
        DatabaseSession session;  // the database lock: nobody writes meanwhile
        Copy(Open(GetMainDbPath(), SQLITE_OPEN_READONLY).get(),
             Open(temporary.path(), SQLITE_OPEN_READWRITE).get());
    } catch (const std::exception& error) {
        Refuse(res::IDS_CTL_FILE_FAILED, {file, error.what()});
    } catch (const CppSQLite3Exception& error) {
        Refuse(res::IDS_CTL_DB_UNUSABLE, {GetMainDbPath(), error.errorMessage()});
    }
    if (::rename(temporary.path().c_str(), file.c_str()) != 0)
        Refuse(res::IDS_CTL_FILE_FAILED, {file, std::strerror(errno)});
    temporary.Keep();
    Say(Text(res::IDS_CTL_BACKUP_DONE, {file}));
}

void RestoreDatabase(const std::string& file) {
    // Only a regular file that is not a link is read.
    if (const int fd = OpenRegularFile(file, O_RDONLY); fd >= 0) {
        ::close(fd);
    } else {
        Refuse(res::IDS_CTL_BAD_BACKUP, {file, std::strerror(errno)});
    }
    std::string problem;
    Connection backup;
    try {
        backup = Open(file, SQLITE_OPEN_READONLY);
        problem = Problem(backup.get());
    } catch (const std::exception& error) {
        problem = error.what();
    }
    if (!problem.empty()) Refuse(res::IDS_CTL_BAD_BACKUP, {file, problem});

    const std::string mainDb = GetMainDbPath();
    NewFile previous(mainDb + ".before-restore-" + Stamp());
    try {
        DatabaseSession session;
        const Connection current = Open(mainDb, SQLITE_OPEN_READWRITE);
        Copy(current.get(), Open(previous.path(), SQLITE_OPEN_READWRITE).get());
        previous.Keep();
        // Into the file itself, so the server's connections read the restored tables.
        Copy(backup.get(), current.get());
    } catch (const std::exception& error) {
        Refuse(res::IDS_CTL_FILE_FAILED, {mainDb, error.what()});
    } catch (const CppSQLite3Exception& error) {
        Refuse(res::IDS_CTL_DB_UNUSABLE, {mainDb, error.errorMessage()});
    }
    // A backup made by an older build gains the tables and columns of this one (the server
    // would do it at its next read of the settings; the consoles read them before).
    UseDatabase(UpgradeMainTables, DbFailure::kLogError);
    ApplyConfiguration();
    Say(Text(res::IDS_CTL_RESTORED, {file, previous.path()}));
}
