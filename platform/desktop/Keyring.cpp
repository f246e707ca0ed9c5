// The keyring over QtKeychain: its asynchronous jobs are waited for with the program's wait pass,
// so the handlers around a call go on as they do during every other wait.
#include "platform/desktop/Keyring.h"

#include "platform/core/MessageLoop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QPointer>
#include <qt6keychain/keychain.h>

#include <memory>
#include <utility>

namespace platform {
namespace {

// The name under which a Secret Service serves the session bus.
constexpr const char* kSecretService = "org.freedesktop.secrets";
// The key asked for to learn whether a keyring answers; it is never written.
constexpr const char* kProbeKey = "\x01probe";

bool serviceOnBus()
{
    // Without a session bus nothing is started to find one (an X11 autolaunch would leave a
    // daemon behind): there is no keyring then.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(kSecretService).value())
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->call("ListActivatableNames");
    return activatable.isValid() && activatable.value().contains(kSecretService);
}

// Runs the job and waits for its end, at most `bound`. The job is freed here either way: an answer
// that comes too late then has no receiver.
QKeychain::Error runJob(QKeychain::Job* job, std::chrono::milliseconds bound, QByteArray* data = nullptr)
{
    job->setAutoDelete(false);
    QPointer<QKeychain::Job> guard(job);
    // Shared with the job's handler, which may outlive this call until the job is gone. The end
    // is reported from a GLib callback, which a wait pass does not count as an event: the
    // handler is queued, so that it is one, and the pass returns as soon as the job is done.
    auto done = std::make_shared<bool>(false);
    QObject::connect(
        job, &QKeychain::Job::finished, job, [done] { *done = true; }, Qt::QueuedConnection);
    job->start();
    QElapsedTimer clock;
    clock.start();
    while (!*done && guard && clock.elapsed() < bound.count())
        WaitPassFor(std::chrono::milliseconds(bound.count() - clock.elapsed()));
    QKeychain::Error error = QKeychain::OtherError;
    if (*done && guard) {
        error = job->error();
        if (data && error == QKeychain::NoError)
            *data = static_cast<QKeychain::ReadPasswordJob*>(job)->binaryData();
    }
    if (guard)
        job->deleteLater();
    return error;
}

} // namespace

Keyring::Keyring(std::string service, std::chrono::milliseconds bound)
    : service_(std::move(service))
    , bound_(bound)
{ }

bool Keyring::Available()
{
    if (!available_) {
        available_ = false;
        if (serviceOnBus()) {
            auto* job = new QKeychain::ReadPasswordJob(QString::fromStdString(service_));
            job->setKey(kProbeKey);
            const QKeychain::Error error = runJob(job, bound_);
            available_ = error == QKeychain::NoError || error == QKeychain::EntryNotFound;
        }
    }
    return *available_;
}

Keyring::Found Keyring::Read(const std::string& key)
{
    Found found;
    if (!Available())
        return found;
    auto* job = new QKeychain::ReadPasswordJob(QString::fromStdString(service_));
    job->setKey(QString::fromStdString(key));
    QByteArray data;
    switch (runJob(job, bound_, &data)) {
    case QKeychain::NoError:
        found.answered = true;
        found.secret = data.toStdString();
        break;
    case QKeychain::EntryNotFound:
        found.answered = true;
        break;
    default:
        break;
    }
    return found;
}

bool Keyring::Write(const std::string& key, const std::string& secret)
{
    if (!Available())
        return false;
    auto* job = new QKeychain::WritePasswordJob(QString::fromStdString(service_));
    job->setKey(QString::fromStdString(key));
    job->setBinaryData(QByteArray::fromStdString(secret));
    return runJob(job, bound_) == QKeychain::NoError;
}

bool Keyring::Remove(const std::string& key)
{
    if (!Available())
        return false;
    auto* job = new QKeychain::DeletePasswordJob(QString::fromStdString(service_));
    job->setKey(QString::fromStdString(key));
    const QKeychain::Error error = runJob(job, bound_);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

} // namespace platform
