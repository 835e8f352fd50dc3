#pragma once
// A throw-away install directory and the console probe run in it (offscreen, local services).
#include <sys/stat.h>

#include <QFile>
#include <QProcess>

#include "tests/support/TestDb.h"

class TestInstall {
public:
    TestInstall() { mkdir(dir_.file("run").c_str(), 0700); }
    QString Dir() const { return QString::fromStdString(dir_.path()); }
    QString RuntimeDir() const { return Dir() + "/run"; }  // the probe's single-instance lock
    std::string DbPath() const { return dir_.file("main.db"); }
    std::string Configuration(const std::string& key) const { return test::Value(DbPath(), key); }
    // The probe started with `arguments`, not waited for.
    void StartProbe(QProcess& probe, const QStringList& arguments) const {
        QFile::copy(QStringLiteral(TORVO_PROBE_PATH), Dir() + "/MainUI");  // once
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
        env.insert("TORVO_SERVICE_BACKEND", "local");
        probe.setProcessEnvironment(env);
        probe.setWorkingDirectory(Dir());
        probe.start(Dir() + "/MainUI", arguments);
    }
    // Standard output of the probe run with `arguments`; "timed out" when it did not end.
    QString RunProbe(const QStringList& arguments) const {
        QProcess probe;
        StartProbe(probe, arguments);
        if (probe.waitForFinished(20000)) return QString::fromUtf8(probe.readAllStandardOutput());
        probe.kill();
        probe.waitForFinished();
        return "timed out";
    }

private:
    test::TempDir dir_;
};

// The console's windows in these tests read no system service.
inline const test::ScopedEnv kLocalServiceBackend("TORVO_SERVICE_BACKEND", "local");
