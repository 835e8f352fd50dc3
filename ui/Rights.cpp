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

bool RelaunchElevated() {
    const QString exe = QCoreApplication::applicationFilePath();
    // pkexec clears the environment; the window system's variables must come along.
    QStringList args{QStringLiteral("env")};
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            args << QString::fromLatin1(name) + '=' + QString::fromLocal8Bit(value);
    }
    args << exe;
    const bool started = QProcess::startDetached(PkexecPath(), args);
    if (!started) LOG(ERROR) << "cannot start pkexec for " << exe.toStdString();
    return started;
}
