#include "tests/support/X11Session.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>

namespace testing_support {
namespace {

constexpr int kStartTimeoutMs = 30000;

} // namespace

bool PollUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

X11Session::X11Session(Options options)
{
    if (!startServer())
        return;
    if (options.windowManager && !startWindowManager())
        return;
    if (options.trayHost) {
        startChild("trayer",
            { "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120", "--height", "32",
                "--SetDockType", "true", "--expand", "false", "--transparent", "false" },
            {}, {});
        // The tray host owns the selection once its panel window exists.
        if (!PollUntil([this] { return !FindWindows({ "--name", "^panel$" }).empty(); }, kStartTimeoutMs)) {
            error_ = "the tray host did not come up";
            return;
        }
    }
    ready_ = true;
}

bool X11Session::startWindowManager()
{
    // Now and then the window manager gives up silently at start on a loaded machine; it is the
    // test's stage, not its subject, so it gets a second and a third chance.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QProcess* manager = startChild("openbox", { "--sm-disable" }, {}, {});
        const bool up = PollUntil(
            [&] {
                if (manager->state() == QProcess::NotRunning)
                    return true;
                int code = -1;
                const QString answer = Run("xprop", { "-root", "_NET_SUPPORTING_WM_CHECK" }, &code);
                return code == 0 && answer.contains("window id");
            },
            kStartTimeoutMs);
        if (up && manager->state() != QProcess::NotRunning)
            return true;
        error_ = "the window manager did not come up ("
            + (manager->state() == QProcess::Running
                    ? QString("running")
                    : QString("ended with %1, %2").arg(manager->exitCode()).arg(manager->exitStatus()))
            + "): " + QString::fromLocal8Bit(manager->readAllStandardError() + manager->readAllStandardOutput());
        std::fprintf(stderr, "attempt %d: %s\n", attempt, qPrintable(error_));
        if (manager->state() != QProcess::NotRunning) {
            manager->kill();
            manager->waitForFinished(3000);
        }
    }
    return false;
}

bool X11Session::startServer()
{
    // Xvfb picks a free display number itself and tells it on the descriptor given.
    QProcess* server
        = startChild("Xvfb", { "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp" }, {}, {});
    if (!server->waitForStarted(kStartTimeoutMs)) {
        error_ = "Xvfb did not start: " + server->errorString();
        return false;
    }
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (!answer.contains('\n') && clock.elapsed() < kStartTimeoutMs && server->state() == QProcess::Running) {
        server->waitForReadyRead(200);
        answer += server->readAllStandardOutput();
    }
    bool ok = false;
    const int number = answer.trimmed().toInt(&ok);
    if (!ok) {
        error_ = "Xvfb gave no display number: " + QString::fromLocal8Bit(server->readAllStandardError());
        return false;
    }
    display_ = ":" + QString::number(number);
    return true;
}

QProcess* X11Session::startChild(const QString& program, const QStringList& arguments,
    const QStringList& extraEnvironment, const QString& workingDirectory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!display_.isEmpty())
        environment.insert("DISPLAY", display_);
    // The desktop bus of whoever runs the tests stays out of them, and none is launched for the
    // display: a program gets a session bus only when its test gives it one.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-tests-have-no-session-bus");
    // Nor does the machine's system bus: a test that needs one starts its own.
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-tests-have-no-system-bus");
    return children_.Start(program, arguments, environment, extraEnvironment, workingDirectory);
}

QProcess* X11Session::Start(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment,
    const QString& workingDirectory)
{
    return startChild(program, arguments, extraEnvironment, workingDirectory);
}

QString X11Session::Run(const QString& program, const QStringList& arguments, int* exitCode) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display_);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(kStartTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

std::vector<QString> X11Session::FindWindows(const QStringList& searchArguments) const
{
    std::vector<QString> windows;
    const QString out = Run("xdotool", QStringList { "search" } + searchArguments);
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        windows.push_back(line.trimmed());
    return windows;
}

std::optional<QRect> X11Session::Geometry(const QString& window) const
{
    const QString info = Run("xwininfo", { "-id", window });
    static const QRegularExpression x(R"(Absolute upper-left X:\s+(-?\d+))");
    static const QRegularExpression y(R"(Absolute upper-left Y:\s+(-?\d+))");
    static const QRegularExpression w(R"(Width:\s+(\d+))");
    static const QRegularExpression h(R"(Height:\s+(\d+))");
    const auto mx = x.match(info), my = y.match(info), mw = w.match(info), mh = h.match(info);
    if (!mx.hasMatch() || !my.hasMatch() || !mw.hasMatch() || !mh.hasMatch())
        return std::nullopt;
    return QRect(mx.captured(1).toInt(), my.captured(1).toInt(), mw.captured(1).toInt(), mh.captured(1).toInt());
}

QString X11Session::Property(const QString& window, const QString& property) const
{
    return Run("xprop", { "-id", window, property });
}

bool X11Session::Viewable(const QString& window) const
{
    return Run("xwininfo", { "-id", window }).contains("Map State: IsViewable");
}

QString X11Session::ActiveWindow() const
{
    return Run("xdotool", { "getactivewindow" });
}

std::optional<QRect> X11Session::TrayIconOf(const QString& windowClass) const
{
    // The embedded icon is a small window of the program inside the tray host's panel; before
    // the host has taken it in, the same window may stand somewhere else on the screen.
    std::vector<QRect> panels;
    for (const QString& panel : FindWindows({ "--name", "^panel$" }))
        if (const auto rect = Geometry(panel))
            panels.push_back(*rect);
    for (const QString& window : FindWindows({ "--class", windowClass })) {
        const auto rect = Geometry(window);
        if (!rect || !Viewable(window) || rect->width() > 48 || rect->height() > 48 || rect->width() <= 4)
            continue;
        for (const QRect& panel : panels)
            if (panel.contains(*rect))
                return rect;
    }
    return std::nullopt;
}

bool X11Session::Screenshot(const QString& window, const QString& file) const
{
    int code = -1;
    Run("import", { "-window", window, file }, &code);
    return code == 0;
}

} // namespace testing_support
