// Waking from sleep and the network coming back, as logind and NetworkManager tell them.
#include "app/SystemWatch.h"

#include <QDBusConnection>

namespace app {
namespace {

constexpr uint kStateConnectedGlobal = 70; // NM_STATE_CONNECTED_GLOBAL
constexpr uint kConnectivityFull = 4; // NM_CONNECTIVITY_FULL

const char* const kNetworkManager = "org.freedesktop.NetworkManager";
const char* const kNetworkManagerPath = "/org/freedesktop/NetworkManager";

} // namespace

SystemWatch::SystemWatch(QObject* owner)
    : QObject(owner)
    , name_(QStringLiteral("quorvel-system-%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
{
    // A connection of its own, to the address the environment names now (the process-wide
    // system bus keeps the address it first had).
    QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty())
        address = QStringLiteral("unix:path=/run/dbus/system_bus_socket");
    QDBusConnection bus = QDBusConnection::connectToBus(address, name_);
    if (!bus.isConnected())
        return;
    // Matches on the signals alone: whichever service sends them from the well-known names.
    watching_ = bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
        "PrepareForSleep", this, SLOT(PrepareForSleep(bool)));
    watching_ = bus.connect(kNetworkManager, kNetworkManagerPath, kNetworkManager, "StateChanged", this,
                    SLOT(NetworkStateChanged(uint)))
        || watching_;
    watching_ = bus.connect(kNetworkManager, kNetworkManagerPath, "org.freedesktop.DBus.Properties",
                    "PropertiesChanged", this, SLOT(NetworkPropertiesChanged(QString, QVariantMap, QStringList)))
        || watching_;
}

SystemWatch::~SystemWatch()
{
    QDBusConnection::disconnectFromBus(name_);
}

void SystemWatch::PrepareForSleep(bool start)
{
    if (!start)
        Back();
}

void SystemWatch::NetworkStateChanged(uint state)
{
    NetworkNow(state == kStateConnectedGlobal);
}

void SystemWatch::NetworkPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
{
    if (interface != kNetworkManager)
        return;
    if (const auto it = changed.find("Connectivity"); it != changed.end())
        NetworkNow(it->toUInt() == kConnectivityFull);
    else if (const auto state = changed.find("State"); state != changed.end())
        NetworkNow(state->toUInt() == kStateConnectedGlobal);
}

void SystemWatch::NetworkNow(bool full)
{
    // Both signals tell of one change: only the turn to full counts, once.
    const int was = networkFull_;
    networkFull_ = full ? 1 : 0;
    if (full && was != 1)
        Back();
}

void SystemWatch::Back()
{
    if (OnBack)
        OnBack();
}

} // namespace app
