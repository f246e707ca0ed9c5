// Starting and ending the child programs of a test's display session.
#include "tests/support/SessionChildren.h"

#include <csignal>
#include <sys/prctl.h>

namespace testing_support {
namespace {

// A test program that is killed takes its session with it.
void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace

SessionChildren::~SessionChildren()
{
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        QProcess& child = **it;
        if (child.state() == QProcess::NotRunning)
            continue;
        child.terminate();
        if (!child.waitForFinished(3000)) {
            child.kill();
            child.waitForFinished(3000);
        }
    }
}

QProcess* SessionChildren::Start(const QString& program, const QStringList& arguments, QProcessEnvironment environment,
    const QStringList& extraEnvironment, const QString& workingDirectory)
{
    auto child = std::make_unique<QProcess>();
    for (const QString& entry : extraEnvironment) {
        const qsizetype equals = entry.indexOf('=');
        environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    child->setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        child->setWorkingDirectory(workingDirectory);
    child->setChildProcessModifier(dieWithParent);
    child->start(program, arguments);
    children_.push_back(std::move(child));
    return children_.back().get();
}

} // namespace testing_support
