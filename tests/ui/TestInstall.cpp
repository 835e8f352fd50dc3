#include "tests/ui/TestInstall.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

// Runs `sql` on `path`; the first column of the last result row goes to `value`.
bool Exec(const QString& path, const std::string& sql, std::optional<std::string>* value = {}) {
    sqlite3* db = nullptr;
    const auto keep = [](void* out, int, char** columns, char**) {
        if (out && columns[0]) *static_cast<std::optional<std::string>*>(out) = columns[0];
        return 0;
    };
    const bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), keep, value, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace

TestInstall::TestInstall() : path_(dir_.path()) {
    QDir(path_).mkpath("run");
    QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestInstall::MakeDatabase(const std::map<std::string, std::string>& configuration) {
    QFile schema(QStringLiteral(TORVO_SOURCE_DIR "/Common/schema/main.sql"));
    ASSERT_TRUE(schema.open(QIODevice::ReadOnly));
    std::string sql = schema.readAll().toStdString();
    for (const auto& [key, value] : configuration)
        sql += "insert into configuration values('" + key + "', '" + value + "');";
    ASSERT_TRUE(Exec(path_ + "/main.db", sql));
}

std::optional<std::string> TestInstall::Configuration(const std::string& key) const {
    std::optional<std::string> value;
    Exec(path_ + "/main.db", "select value from configuration where key = '" + key + "'", &value);
    return value;
}

void TestInstall::StartProbe(QProcess& probe, const QStringList& arguments,
                             const QProcessEnvironment& extra) const {
    const QString exe = path_ + "/MainUI";
    QFile::copy(QStringLiteral(TORVO_PROBE_PATH), exe);  // does nothing once it is there
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", RuntimeDir());
    env.insert("TORVO_SERVICE_BACKEND", "local");
    env.insert(extra);
    probe.setProcessEnvironment(env);
    probe.setWorkingDirectory(path_);
    probe.start(exe, arguments);
}

QString TestInstall::RunProbe(const QStringList& arguments) const {
    QProcess probe;
    StartProbe(probe, arguments);
    if (probe.waitForFinished(20000)) return QString::fromUtf8(probe.readAllStandardOutput());
    probe.kill();
    probe.waitForFinished();
    return "timed out";
}
