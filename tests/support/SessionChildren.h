// The programs a test's display session runs (display server, window manager, the program under
// test): each dies with the test program, and they end in the reverse of their starting order.
#pragma once

#include <QProcess>
#include <QStringList>

#include <memory>
#include <vector>

namespace testing_support {

class SessionChildren {
public:
    SessionChildren() = default;
    SessionChildren(const SessionChildren&) = delete;
    SessionChildren& operator=(const SessionChildren&) = delete;
    // Asks each child still running to end, last started first; kills one that does not.
    ~SessionChildren();

    // Starts `program` in `environment` with the "NAME=value" entries of `extraEnvironment` on
    // top; the child stays owned here.
    QProcess* Start(const QString& program, const QStringList& arguments, QProcessEnvironment environment,
        const QStringList& extraEnvironment, const QString& workingDirectory);

private:
    std::vector<std::unique_ptr<QProcess>> children_;
};

} // namespace testing_support
