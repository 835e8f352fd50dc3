#pragma once
// Desktop notifications through the session bus's org.freedesktop.Notifications service. A
// notice is handed to a pool thread that connects to the bus (the first time) and sends it
// without waiting for an answer, so the window thread never waits on the bus; without a
// session bus or a notification service nothing is shown (never a message box).
#include <QDBusConnection>
#include <QString>
#include <optional>

class DesktopNotifier {
public:
    // The session bus, when one is there to connect to.
    DesktopNotifier() = default;
    explicit DesktopNotifier(const QDBusConnection& bus) : bus_(bus) {}

    void Notify(const QString& title, const QString& body);

private:
    std::optional<QDBusConnection> bus_;
};
