// The compositor runs with its debug protocol on, which its screenshot client needs; the
// session is private to the test, so nothing else can use that.
#include "tests/support/WaylandSession.h"

#include "tests/support/X11Session.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

namespace testing_support {
namespace {

constexpr int kStartTimeoutMs = 30000;
const char* const kSocket = "quorvel-wayland";

} // namespace

WaylandSession::WaylandSession()
{
    if (!runtime_.isValid()) {
        error_ = "no runtime folder";
        return;
    }
    // The protocol wants the runtime folder to be the user's alone.
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess* weston = startChild("weston",
        { "--backend=headless-backend.so", "--use-pixman", "--width=1024", "--height=768", "--idle-time=0",
            "--no-config", "--debug", QString("--socket=") + kSocket, "--log=" + runtime_.path() + "/weston.log" },
        {}, {});
    if (!weston->waitForStarted(kStartTimeoutMs)) {
        error_ = "weston did not start: " + weston->errorString();
        return;
    }
    const QString socket = runtime_.path() + "/" + kSocket;
    // The socket is there once the compositor takes clients.
    if (!PollUntil([&] { return weston->state() == QProcess::NotRunning || QFile::exists(socket); }, kStartTimeoutMs)
        || weston->state() == QProcess::NotRunning) {
        QFile log(runtime_.path() + "/weston.log");
        log.open(QIODevice::ReadOnly);
        error_ = "weston did not come up: " + QString::fromLocal8Bit(log.readAll().right(2000));
        return;
    }
    ready_ = true;
}

QProcess* WaylandSession::startChild(const QString& program, const QStringList& arguments,
    const QStringList& extraEnvironment, const QString& workingDirectory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(name);
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("WAYLAND_DISPLAY", kSocket);
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-tests-have-no-session-bus");
    // Nor does the machine's system bus: a test that needs one starts its own.
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-tests-have-no-system-bus");
    return children_.Start(program, arguments, environment, extraEnvironment, workingDirectory);
}

QProcess* WaylandSession::Start(const QString& program, const QStringList& arguments,
    const QStringList& extraEnvironment, const QString& workingDirectory)
{
    return startChild(program, arguments, extraEnvironment, workingDirectory);
}

QImage WaylandSession::Screenshot() const
{
    // The client writes a file named after the time into its working folder.
    QTemporaryDir folder;
    if (!folder.isValid())
        return {};
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("WAYLAND_DISPLAY", kSocket);
    client.setProcessEnvironment(environment);
    client.setWorkingDirectory(folder.path());
    client.start("weston-screenshooter", {});
    if (!client.waitForFinished(kStartTimeoutMs) || client.exitCode() != 0)
        return {};
    const QStringList files = QDir(folder.path()).entryList({ "*.png" }, QDir::Files);
    return files.isEmpty() ? QImage() : QImage(folder.path() + "/" + files.front());
}

} // namespace testing_support
