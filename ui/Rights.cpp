#include "ui/Rights.h"

#include <glog/logging.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include "Common/Paths.h"
#include "service/ServiceManagerFactory.h"

namespace {

QString PkexecPath() {
    return QStandardPaths::findExecutable(QStringLiteral("pkexec"));
}

}  // namespace

RightsFacts GatherRightsFacts() {
    RightsFacts facts;
    facts.systemdBackend = ChooseServiceBackend() == ServiceBackend::kSystemd;
    facts.isRoot = geteuid() == 0;
    const std::string dir = GetModuleDirectory();
    // The settings are written into main.db, so the file must be writable too when it exists.
    const std::string db = GetMainDbPath();
    facts.installDirWritable = !dir.empty() && access(dir.c_str(), W_OK) == 0 &&
                               (access(db.c_str(), F_OK) != 0 || access(db.c_str(), W_OK) == 0);
    facts.canElevate = !PkexecPath().isEmpty();
    return facts;
}

QStringList ElevationArguments(const QString& exe, const QProcessEnvironment& environment) {
    static const QStringList kWindowSystem{"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY",
                                           "QT_QPA_PLATFORM"};
    QStringList args{QStringLiteral("env")};
    for (const QString& name : environment.keys()) {
        const QString value = environment.value(name);
        if (!value.isEmpty() && (kWindowSystem.contains(name) || name.startsWith("TORVO_")))
            args << name + '=' + value;
    }
    args << exe;
    return args;
}

bool RelaunchElevated() {
    const QString exe = QCoreApplication::applicationFilePath();
    const bool started = QProcess::startDetached(
        PkexecPath(), ElevationArguments(exe, QProcessEnvironment::systemEnvironment()));
    if (!started) LOG(ERROR) << "cannot start pkexec for " << exe.toStdString();
    return started;
}
