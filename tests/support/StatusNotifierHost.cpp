#include "tests/support/StatusNotifierHost.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDateTime>
#include <QMutexLocker>

namespace testing_support {
namespace {

const QString kWatcherService = "org.kde.StatusNotifierWatcher";
const QString kWatcherPath = "/StatusNotifierWatcher";
const QString kItemInterface = "org.kde.StatusNotifierItem";
const QString kItemPath = "/StatusNotifierItem";
const QString kMenuInterface = "com.canonical.dbusmenu";
constexpr int kCallTimeoutMs = 10000;

std::vector<StatusNotifierHost::Pixmap> readPixmaps(const QDBusArgument& argument)
{
    std::vector<StatusNotifierHost::Pixmap> pixmaps;
    argument.beginArray();
    while (!argument.atEnd()) {
        StatusNotifierHost::Pixmap p;
        argument.beginStructure();
        argument >> p.width >> p.height >> p.argb;
        argument.endStructure();
        pixmaps.push_back(p);
    }
    argument.endArray();
    return pixmaps;
}

void readLayout(const QDBusArgument& argument, std::vector<StatusNotifierHost::MenuEntry>& entries, bool top)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (!top)
        entries.push_back({ id, properties.value("label").toString(), properties.value("type").toString(),
            properties.value("enabled", true).toBool(), properties.value("visible", true).toBool(),
            properties.value("toggle-type").toString(), properties.value("toggle-state", -1).toInt() });
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(child.variant().value<QDBusArgument>(), entries, false);
    }
    argument.endArray();
    argument.endStructure();
}

} // namespace

QStringList StatusNotifierWatcher::RegisteredStatusNotifierItems() const
{
    QMutexLocker lock(&mutex_);
    return items_;
}

QStringList StatusNotifierWatcher::Gone() const
{
    QMutexLocker lock(&mutex_);
    return gone_;
}

bool StatusNotifierWatcher::Ready() const
{
    QMutexLocker lock(&mutex_);
    return ready_;
}

void StatusNotifierWatcher::Start(const QString& address, const QString& connectionName)
{
    connectionName_ = connectionName;
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
    watcher_ = std::make_unique<QDBusServiceWatcher>();
    watcher_->setConnection(bus);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this, &StatusNotifierWatcher::itemGone);
    const bool ok = bus.isConnected()
        && bus.registerObject(kWatcherPath, this,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals | QDBusConnection::ExportAllProperties)
        && bus.registerService(kWatcherService)
        // The host that shows the items: only its name, which is all a watcher's clients see.
        && bus.registerService(QString("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid()));
    QMutexLocker lock(&mutex_);
    ready_ = ok;
}

void StatusNotifierWatcher::Stop()
{
    watcher_.reset();
    QDBusConnection::disconnectFromBus(connectionName_);
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message)
{
    // Some items name themselves by their object path; then the sender is the service.
    const QString service = serviceOrPath.startsWith('/') ? message.service() : serviceOrPath;
    {
        QMutexLocker lock(&mutex_);
        if (items_.contains(service))
            return;
        items_.push_back(service);
    }
    watcher_->addWatchedService(service);
    emit StatusNotifierItemRegistered(service);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString&)
{
    emit StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::itemGone(const QString& service)
{
    {
        QMutexLocker lock(&mutex_);
        if (!items_.removeOne(service))
            return;
        gone_.push_back(service);
    }
    watcher_->removeWatchedService(service);
    emit StatusNotifierItemUnregistered(service);
}

StatusNotifierHost::StatusNotifierHost(const QString& busAddress)
    : watcher_(new StatusNotifierWatcher)
{
    static int serial = 0;
    ++serial;
    watcherName_ = QString("status-notifier-watcher-%1").arg(serial);
    callName_ = QString("status-notifier-host-%1").arg(serial);
    watcher_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, watcher_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(
        watcher_, "Start", Qt::BlockingQueuedConnection, Q_ARG(QString, busAddress), Q_ARG(QString, watcherName_));
    QDBusConnection::connectToBus(busAddress, callName_);
}

StatusNotifierHost::~StatusNotifierHost()
{
    QDBusConnection::disconnectFromBus(callName_);
    QMetaObject::invokeMethod(watcher_, "Stop", Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QDBusMessage StatusNotifierHost::itemCall(const QString& service, const QString& path, const QString& interface,
    const QString& method, const QVariantList& arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return message;
}

QVariant StatusNotifierHost::Property(const QString& service, const QString& name) const
{
    const QDBusMessage reply = QDBusConnection(callName_).call(
        itemCall(service, kItemPath, "org.freedesktop.DBus.Properties", "Get", { kItemInterface, name }), QDBus::Block,
        kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

std::vector<StatusNotifierHost::Pixmap> StatusNotifierHost::IconPixmaps(const QString& service) const
{
    const QVariant value = Property(service, "IconPixmap");
    if (!value.canConvert<QDBusArgument>())
        return {};
    return readPixmaps(value.value<QDBusArgument>());
}

std::optional<StatusNotifierHost::ToolTip> StatusNotifierHost::ItemToolTip(const QString& service) const
{
    const QVariant value = Property(service, "ToolTip");
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    ToolTip tip;
    argument.beginStructure();
    argument >> tip.iconName;
    tip.icons = readPixmaps(argument);
    argument >> tip.title >> tip.description;
    argument.endStructure();
    return tip;
}

std::vector<StatusNotifierHost::MenuEntry> StatusNotifierHost::Menu(const QString& service) const
{
    const QVariant path = Property(service, "Menu");
    const QString menuPath = path.value<QDBusObjectPath>().path();
    if (menuPath.isEmpty() || menuPath == "/NO_DBUSMENU")
        return {};
    QDBusConnection bus(callName_);
    // A host tells the menu it is about to be shown, then reads its whole layout.
    bus.call(itemCall(service, menuPath, kMenuInterface, "AboutToShow", { 0 }), QDBus::Block, kCallTimeoutMs);
    const QDBusMessage reply
        = bus.call(itemCall(service, menuPath, kMenuInterface, "GetLayout", { 0, -1, QStringList {} }), QDBus::Block,
            kCallTimeoutMs);
    std::vector<MenuEntry> entries;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return entries;
    readLayout(reply.arguments().at(1).value<QDBusArgument>(), entries, true);
    return entries;
}

void StatusNotifierHost::Activate(const QString& service, int x, int y) const
{
    QDBusConnection(callName_).asyncCall(itemCall(service, kItemPath, kItemInterface, "Activate", { x, y }));
}

void StatusNotifierHost::ClickMenuEntry(const QString& service, int id) const
{
    const QString menuPath = Property(service, "Menu").value<QDBusObjectPath>().path();
    QDBusConnection(callName_).asyncCall(itemCall(service, menuPath, kMenuInterface, "Event",
        { id, QString("clicked"), QVariant::fromValue(QDBusVariant(0)),
            static_cast<uint>(QDateTime::currentSecsSinceEpoch()) }));
}

} // namespace testing_support
