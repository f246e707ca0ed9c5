#include "tests/support/SessionBus.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>

namespace testing_support {
namespace {

constexpr int kStartTimeoutMs = 20000;

const char* const kConfiguration = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

SessionBus::SessionBus()
{
    if (!folder_.isValid()) {
        error_ = "no temporary folder";
        return;
    }
    const QString config = folder_.filePath("session.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QString(kConfiguration).arg(folder_.filePath("bus")).toUtf8()) < 0) {
        error_ = "cannot write " + config;
        return;
    }
    file.close();
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon_.start("dbus-daemon", { "--config-file=" + config, "--nofork", "--nopidfile", "--print-address" });
    if (!daemon_.waitForStarted(kStartTimeoutMs)) {
        error_ = "dbus-daemon did not start: " + daemon_.errorString();
        return;
    }
    QByteArray line;
    QElapsedTimer clock;
    clock.start();
    while (!line.contains('\n') && clock.elapsed() < kStartTimeoutMs && daemon_.state() == QProcess::Running) {
        daemon_.waitForReadyRead(200);
        line += daemon_.readAllStandardOutput();
    }
    if (!line.contains('\n')) {
        error_ = "dbus-daemon gave no address: " + QString::fromLocal8Bit(daemon_.readAllStandardError());
        return;
    }
    address_ = QString::fromLocal8Bit(line).trimmed();
}

SessionBus::~SessionBus()
{
    for (const QString& name : connections_)
        QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
}

QDBusConnection SessionBus::Connect(const QString& name)
{
    // Names are the process's own: a new bus never finds an old bus's connection under one.
    static int serial = 0;
    const QString unique = QString("%1-%2").arg(name).arg(++serial);
    connections_.push_back(unique);
    return QDBusConnection::connectToBus(address_, unique);
}

} // namespace testing_support
