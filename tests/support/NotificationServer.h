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

// Sends a marker through `client` to the service and runs the event loop until its answer has
// been handled. By then everything sent before through that connection has reached the service,
// and every answer and signal the service sent before its answer has been handled here.
bool Settle(const QDBusConnection& client, int timeoutMs = 5000);

} // namespace testing_support
