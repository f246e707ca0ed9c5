#include "tests/support/NotificationServer.h"

#include "tests/support/Wait.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace testing_support {
namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";

} // namespace

NotificationServer::NotificationServer(QDBusConnection bus, QStringList capabilities)
    : bus_(bus)
    , capabilities_(std::move(capabilities))
{
    registered_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
        && bus_.registerService(kService);
}

NotificationServer::~NotificationServer()
{
    bus_.unregisterService(kService);
    bus_.unregisterObject(kPath);
}

void NotificationServer::InvokeAction(uint id, const QString& actionKey)
{
    emit ActionInvoked(id, actionKey);
}

QStringList NotificationServer::GetCapabilities()
{
    return capabilities_;
}

uint NotificationServer::Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
    const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout)
{
    const uint id = replacesId != 0 ? replacesId : nextId_++;
    notices.push_back({ appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout, id });
    return id;
}

void NotificationServer::CloseNotification(uint id)
{
    emit NotificationClosed(id, 3);
}

QString NotificationServer::GetServerInformation(QString& vendor, QString& version, QString& specVersion)
{
    vendor = "test";
    version = "1";
    specVersion = "1.2";
    return "recording server";
}

bool Settle(const QDBusConnection& client, int timeoutMs)
{
    QDBusPendingCallWatcher watcher(
        client.asyncCall(QDBusMessage::createMethodCall(kService, kPath, kService, "GetServerInformation")));
    bool answered = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    return WaitUntil([&] { return answered; }, timeoutMs) && !watcher.isError();
}

} // namespace testing_support
