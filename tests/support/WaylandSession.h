// A private Wayland session for end-to-end tests: weston's headless backend with a software
// renderer on a socket in a runtime folder of its own, ended with the object.
#pragma once

#include "tests/support/SessionChildren.h"

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace testing_support {

class WaylandSession {
public:
    WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    bool Ready() const { return ready_; }
    QString Error() const { return error_; }
    QString RuntimeFolder() const { return runtime_.path(); }

    // Starts a program in the session, with no X display to fall back on; it is ended with the
    // session unless it ended before.
    QProcess* Start(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment = {},
        const QString& workingDirectory = {});

    // What the compositor shows now; a null image when it cannot be taken.
    QImage Screenshot() const;

private:
    QProcess* startChild(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment,
        const QString& workingDirectory);

    QTemporaryDir runtime_;
    bool ready_ = false;
    QString error_;
    SessionChildren children_;
};

} // namespace testing_support
