#include "tests/ui/TestInstall.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

namespace {

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql;
}

}  // namespace

TestInstall::TestInstall() : dirPath_(dir_.path()) {
    QDir(dirPath_).mkpath("run");
    QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestInstall::MakeDatabase(const std::map<std::string, std::optional<std::string>>& rows) {
    QFile schema(QStringLiteral(TORVO_SOURCE_DIR "/Common/schema/main.sql"));
    ASSERT_TRUE(schema.open(QIODevice::ReadOnly)) << "schema missing";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().toUtf8().constData(), &db), SQLITE_OK);
    Exec(db, schema.readAll().toStdString());
    for (const auto& [key, value] : rows) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "insert into configuration (key, value) values (?, ?)", -1, &stmt,
                           nullptr);
        sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (value) {
            sqlite3_bind_text(stmt, 2, value->c_str(), -1, SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(stmt, 2);
        }
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
}

void TestInstall::WriteVersionFile(const std::string& version) {
    QFile file(dirPath_ + "/version.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("[TorvoProxy]\nplatform=x64\nversion=" + version + "\n").c_str());
}

std::optional<std::string> TestInstall::Configuration(const std::string& key) const {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(DbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return std::nullopt;
    }
    std::optional<std::string> value;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "select value from configuration where key = ?", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
        value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

TestInstall::Run TestInstall::RunProbe(const QStringList& arguments, int timeoutMs) const {
    const QString exe = dirPath_ + "/MainUI";
    if (!QFile::exists(exe)) QFile::copy(QStringLiteral(TORVO_PROBE_PATH), exe);

    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", RuntimeDir());
    env.insert("TORVO_LOCK_DIR", dirPath_);
    env.insert("TORVO_SERVICE_BACKEND", "local");
    probe.setProcessEnvironment(env);
    probe.setWorkingDirectory(dirPath_);
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.start(exe, arguments);
    Run run;
    if (!probe.waitForStarted(timeoutMs)) return run;
    run.finished = probe.waitForFinished(timeoutMs);
    if (!run.finished) {
        probe.kill();
        probe.waitForFinished(2000);
    }
    run.output = QString::fromUtf8(probe.readAllStandardOutput());
    return run;
}
