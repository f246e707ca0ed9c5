// A minimal StatusNotifierWatcher with one host on a test's bus, as a desktop panel has them:
// items register with it, and the test reads an item's properties and menu and activates it.
// The watcher answers from a thread of its own, so that a test blocked in a wait or a child
// process never leaves the program under test waiting for it.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>
#include <optional>
#include <vector>

namespace testing_support {

class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
public:
    QStringList RegisteredStatusNotifierItems() const;
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }

    QStringList Gone() const;
    bool Ready() const;

public slots:
    void Start(const QString& address, const QString& connectionName);
    void Stop();
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    void itemGone(const QString& service);

    mutable QMutex mutex_;
    QStringList items_;
    QStringList gone_;
    bool ready_ = false;
    QString connectionName_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};

class StatusNotifierHost {
public:
    explicit StatusNotifierHost(const QString& busAddress);
    ~StatusNotifierHost();
    StatusNotifierHost(const StatusNotifierHost&) = delete;
    StatusNotifierHost& operator=(const StatusNotifierHost&) = delete;

    bool Ready() const { return watcher_->Ready(); }
    // Bus names of the registered items that are still there, and of those that have left.
    QStringList Items() const { return watcher_->RegisteredStatusNotifierItems(); }
    QStringList Gone() const { return watcher_->Gone(); }

    struct Pixmap {
        int width = 0;
        int height = 0;
        QByteArray argb; // 32-bit ARGB in network byte order, row by row
    };
    struct ToolTip {
        QString iconName;
        std::vector<Pixmap> icons;
        QString title;
        QString description;
    };
    struct MenuEntry {
        int id = 0;
        QString label; // with "_" before the accelerator letter
        QString type; // "separator" or empty
        bool enabled = true;
        bool visible = true;
        QString toggleType; // "checkmark" for an item that can be checked
        int toggleState = -1; // 1 checked, 0 not, -1 neither
    };

    // Properties of the item at `service`; an invalid variant when it cannot be read.
    QVariant Property(const QString& service, const QString& name) const;
    std::vector<Pixmap> IconPixmaps(const QString& service) const;
    std::optional<ToolTip> ItemToolTip(const QString& service) const;
    // The entries of the item's exported menu, in order; empty when it has none.
    std::vector<MenuEntry> Menu(const QString& service) const;

    // What a host does on a left click and on a click of a menu entry; both are sent without
    // waiting for the answer, as the item may end on them.
    void Activate(const QString& service, int x, int y) const;
    void ClickMenuEntry(const QString& service, int id) const;

private:
    QDBusMessage itemCall(const QString& service, const QString& path, const QString& interface, const QString& method,
        const QVariantList& arguments) const;

    QThread thread_;
    StatusNotifierWatcher* watcher_;
    QString callName_;
    QString watcherName_;
};

} // namespace testing_support
