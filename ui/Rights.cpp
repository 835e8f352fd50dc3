#include "ui/Rights.h"

#include <glog/logging.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "Common/Paths.h"

namespace {

QString PkexecPath() {
    return QStandardPaths::findExecutable(QStringLiteral("pkexec"));
}

}  // namespace

RightsFacts GatherRightsFacts() {
    return GatherRightsFacts(GetModuleDirectory(), !PkexecPath().isEmpty());
}

bool PolicyNamesProgram(const QByteArray& policy, const QString& exe) {
    QXmlStreamReader xml(policy);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"annotate" &&
            xml.attributes().value("key") == u"org.freedesktop.policykit.exec.path" &&
            xml.readElementText().trimmed() == exe)
            return true;
    }
    return false;
}

QStringList ElevationArguments(const QString& exe, const QProcessEnvironment& environment,
                               bool actionNamesExe) {
    static const QStringList kWindowSystem{"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY",
                                           "QT_QPA_PLATFORM"};
    static const QStringList kKeptByAction{"DISPLAY", "XAUTHORITY"};
    QStringList args{QStringLiteral("env")};
    bool onlyKept = true;
    for (const QString& name : environment.keys()) {
        const QString value = environment.value(name);
        if (!value.isEmpty() && (kWindowSystem.contains(name) || name.startsWith("TORVO_"))) {
            args << name + '=' + value;
            onlyKept = onlyKept && kKeptByAction.contains(name);
        }
    }
    if (actionNamesExe && onlyKept) return {exe};
    args << exe;
    return args;
}

bool RelaunchElevated() {
    const QString exe = QCoreApplication::applicationFilePath();
    QFile policy(QString::fromLatin1(kConsolePolicyFile));
    const bool actionNamesExe =
        policy.open(QIODevice::ReadOnly) && PolicyNamesProgram(policy.readAll(), exe);
    const bool started = QProcess::startDetached(
        PkexecPath(),
        ElevationArguments(exe, QProcessEnvironment::systemEnvironment(), actionNamesExe));
    if (!started) LOG(ERROR) << "cannot start pkexec for " << exe.toStdString();
    return started;
}
