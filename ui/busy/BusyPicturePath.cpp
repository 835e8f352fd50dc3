#include "ui/busy/BusyPicturePath.h"

#include <QDir>
#include <QFileInfo>

QString BusyPicturePath() {
    const QFileInfo executable(QStringLiteral("/proc/self/exe"));
    const QString target = executable.symLinkTarget();
    if (target.isEmpty()) {
        return {};
    }
    return QFileInfo(target).dir().filePath(QStringLiteral("busy.gif"));
}
