// gnome-keyring-daemon in the foreground, given its unlock password on stdin, ended by its PID.
#include "tests/support/KeyringDaemon.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>

namespace testing_support {
namespace {

constexpr int kStartTimeoutMs = 20000;

} // namespace

KeyringDaemon::KeyringDaemon(bool withKeyring)
{
    if (!bus_.Ready()) {
        error_ = bus_.Error();
        return;
    }
    // The keyring library of the program under test finds the session bus through the environment.
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        previousAddress_ = old;
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_.Address().toLocal8Bit().constData(), 1);
    if (!withKeyring)
        return;
    if (!folder_.isValid()) {
        error_ = "no temporary folder";
        return;
    }
    const QDir root(folder_.path());
    for (const char* sub : { "home", "data", "config", "runtime" })
        root.mkpath(sub);
    QFile::setPermissions(folder_.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus_.Address());
    environment.insert("HOME", folder_.filePath("home"));
    environment.insert("XDG_DATA_HOME", folder_.filePath("data"));
    environment.insert("XDG_CONFIG_HOME", folder_.filePath("config"));
    environment.insert("XDG_RUNTIME_DIR", folder_.filePath("runtime"));
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    daemon_.setProcessEnvironment(environment);
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon_.start("gnome-keyring-daemon", { "--foreground", "--unlock", "--components=secrets" });
    if (!daemon_.waitForStarted(kStartTimeoutMs)) {
        error_ = "gnome-keyring-daemon did not start: " + daemon_.errorString();
        return;
    }
    // The password of the login keyring it makes and unlocks; read up to the end of input.
    daemon_.write("quorvel-test");
    daemon_.closeWriteChannel();
    QDBusConnection watch = bus_.Connect("keyring-watch");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartTimeoutMs && daemon_.state() == QProcess::Running) {
        if (watch.interface()->isServiceRegistered("org.freedesktop.secrets").value())
            return;
        daemon_.waitForFinished(50);
    }
    error_ = "gnome-keyring-daemon did not serve: " + QString::fromLocal8Bit(daemon_.readAllStandardError());
}

KeyringDaemon::~KeyringDaemon()
{
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    if (previousAddress_)
        setenv("DBUS_SESSION_BUS_ADDRESS", previousAddress_->c_str(), 1);
    else
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace testing_support
