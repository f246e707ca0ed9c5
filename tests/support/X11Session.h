// A private X display for end-to-end tests: Xvfb on a free display number, a window manager and
// a tray host, all ended when the session object goes, also when a test fails midway.
#pragma once

#include "tests/support/SessionChildren.h"

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace testing_support {

class X11Session {
public:
    struct Options {
        bool windowManager = true;
        bool trayHost = true;
    };

    explicit X11Session(Options options);
    X11Session()
        : X11Session(Options {})
    { }
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    // Empty when the session could not be brought up; Error() says why.
    bool Ready() const { return ready_; }
    QString Error() const { return error_; }
    QString Display() const { return display_; }

    // Starts a program on the display; it is killed with the session unless it ended before.
    QProcess* Start(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment = {},
        const QString& workingDirectory = {});

    // Runs a command on the display to its end and returns its standard output (trimmed).
    QString Run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) const;

    // Windows whose name matches the pattern (xdotool's search), newest last.
    std::vector<QString> FindWindows(const QStringList& searchArguments) const;
    // Absolute geometry of a window.
    std::optional<QRect> Geometry(const QString& window) const;
    // A window property as xprop prints it.
    QString Property(const QString& window, const QString& property) const;
    bool Viewable(const QString& window) const;
    QString ActiveWindow() const;

    // The tray host's embedded icon of the program with the given class name.
    std::optional<QRect> TrayIconOf(const QString& windowClass) const;

    // Saves a picture of a window (or of the whole screen for "root") as a PNG file.
    bool Screenshot(const QString& window, const QString& file) const;

private:
    bool startServer();
    bool startWindowManager();
    QProcess* startChild(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment,
        const QString& workingDirectory);

    bool ready_ = false;
    QString error_;
    QString display_;
    SessionChildren children_;
};

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes.
bool PollUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

} // namespace testing_support
