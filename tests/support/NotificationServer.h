// A desktop notification service on a test's bus that records what it is sent and answers as a
// real one would; the test plays the user by invoking a notice's action.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace testing_support {

class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
        uint id = 0; // the number this server gave it
    };

    NotificationServer(QDBusConnection bus, QStringList capabilities);
    ~NotificationServer() override;

    bool Registered() const { return registered_; }

    std::vector<Notice> notices;
    int informationRequests = 0; // calls of GetServerInformation, which tests send as markers

    // The user clicks the notice (action "default") or another of its actions.
    void InvokeAction(uint id, const QString& actionKey);

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
        const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    void CloseNotification(uint id);
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    QStringList capabilities_;
    bool registered_ = false;
    uint nextId_ = 1;
};

// Sends a marker through `bus` to the service: once the service has it, everything sent before
// it through the same connection has arrived.
void SendMarker(const QDBusConnection& bus);

} // namespace testing_support
