#include "platform/desktop/DesktopBus.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>

namespace platform {

QDBusConnection DesktopBus()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        // Without an address the bus library would launch a bus of its own for the X display,
        // which would outlive the program; only the desktop's own socket is taken.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty() || !QFileInfo(runtime + "/bus").exists())
            return QDBusConnection(QStringLiteral("quorvel-no-session-bus"));
    }
    return QDBusConnection::sessionBus();
}

bool StatusNotifierHostOn(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.kde.StatusNotifierWatcher"),
        QStringLiteral("/StatusNotifierWatcher"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace platform
