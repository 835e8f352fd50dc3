#include "tests/ui/TestInstall.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include "tests/support/TestDb.h"

TestInstall::TestInstall() {
    QDir(path_).mkpath("run");
    QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestInstall::MakeDatabase(const std::map<std::string, std::string>& configuration) {
    std::string sql;
    for (const auto& [key, value] : configuration)
        sql += "insert into configuration values('" + key + "', '" + value + "');";
    test::CreateSchemaDb(DbPath(), sql);
}

std::string TestInstall::Configuration(const std::string& key) const {
    return test::Value(DbPath(), key);
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
