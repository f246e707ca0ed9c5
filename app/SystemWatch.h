// SystemWatch: tells when the machine has woken from sleep (logind's PrepareForSleep(false)) or
// the network has come back (NetworkManager's state or connectivity turning to full), from the
// system bus. Without the bus or those services it tells nothing.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace app {

class SystemWatch : public QObject {
    Q_OBJECT

public:
    explicit SystemWatch(QObject* owner);
    ~SystemWatch() override;

    // Connections made before may be dead: make them again, and look for mail.
    std::function<void()> OnBack;
    // Listening on a system bus.
    bool Watching() const { return watching_; }

private slots:
    void PrepareForSleep(bool start);
    void NetworkStateChanged(uint state);
    void NetworkPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void NetworkNow(bool full);
    void Back();

    QString name_;
    bool watching_ = false;
    // The last state NetworkManager told; unknown until it tells one.
    int networkFull_ = -1;
};

} // namespace app
