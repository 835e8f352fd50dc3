#include "ui/common/DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QFileInfo>
#include <QThreadPool>
#include <QVariantMap>

namespace {

// Connecting is only tried when the session has a bus: a bus address, or the user's bus
// socket. Otherwise the bus library may try to start a bus of its own for this display.
QDBusConnection SessionBusIfAny() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool busThere = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
                          (!runtime.isEmpty() && QFileInfo(runtime + "/bus").exists());
    if (!busThere) return QDBusConnection(QStringLiteral("torvo-no-session-bus"));
    return QDBusConnection::sessionBus();
}

// One thread, so that notices arrive in the order they were given; it ends with the
// application.
QThreadPool& NoticeThread() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool(QCoreApplication::instance());
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

}  // namespace

void DesktopNotifier::Notify(const QString& title, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, id to replace, icon, summary, body, actions, hints, expiry (server default)
    call << QStringLiteral("TorvoProxy") << 0u << QStringLiteral("network-server") << title << body
         << QStringList() << QVariantMap() << -1;
    // Connecting may take a moment: off the window thread. The reply (or the error when no
    // service answers) is not waited for.
    NoticeThread().start([bus = bus_, call] {
        const QDBusConnection connection = bus ? *bus : SessionBusIfAny();
        if (connection.isConnected()) connection.send(call);
    });
}
