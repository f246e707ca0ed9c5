// A private D-Bus session bus for one test: its own dbus-daemon on a socket in a temporary
// folder, with a configuration written here (no services started on demand), ended with the object.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testing_support {

class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool Ready() const { return !address_.isEmpty(); }
    QString Error() const { return error_; }
    // What DBUS_SESSION_BUS_ADDRESS is set to for the program under test.
    QString Address() const { return address_; }
    QString Environment() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }

    // A connection of the test's own, named `name`; closed with the bus.
    QDBusConnection Connect(const QString& name);

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString error_;
    QStringList connections_;
};

} // namespace testing_support
