#include "platform/core/MessageLoop.h"

#include "platform/core/Strand.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QPointer>

#include <cstdint>

namespace platform {
namespace {

// Blocking dispatch calls of wait passes that are on the stack now (passes nest when a handler
// run by one pass waits itself). Touched on the user-interface thread only.
int g_blockedCalls = 0;

// Without GLib, Qt's dispatcher sends the posted events and may then block within the same
// call, although one of them already ended the wait; a nested dispatch call also clears an
// earlier request to return. So while a pass blocks, every event asks the dispatcher again to
// return as soon as the event has been handled. The GLib dispatcher returns after any dispatch
// by itself, and there every request would cost a write to its wake-up descriptor and one more
// turn, a good part of a short socket exchange: it is asked only when it is not GLib's.
void askBlockedCallToReturn()
{
    if (g_blockedCalls == 0)
        return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    static const QMetaObject* known = nullptr;
    static bool returnsByItself = false;
    if (dispatcher->metaObject() != known) {
        known = dispatcher->metaObject();
        returnsByItself = dispatcher->inherits("QEventDispatcherGlib");
    }
    if (!returnsByItself)
        dispatcher->interrupt();
}

// Counts every event dispatched on the user-interface thread: a pass is over once the count
// has moved. It sees each event before its receiver does and never filters one out.
class EventCounter : public QObject {
public:
    std::uint64_t seen = 0;

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        ++seen;
        askBlockedCallToReturn();
        return false;
    }

    // The receiver of WaitPassFor's bound; the tick itself is counted by the filter.
    void timerEvent(QTimerEvent*) override { }
};

EventCounter& Counter()
{
    // Lives as long as the process; installed again should the application object be replaced.
    static EventCounter* counter = new EventCounter;
    static QPointer<QCoreApplication> installedOn;
    QCoreApplication* app = QCoreApplication::instance();
    if (app && installedOn != app) {
        app->installEventFilter(counter);
        installedOn = app;
    }
    return *counter;
}

class BlockedCall {
public:
    BlockedCall() { ++g_blockedCalls; }
    ~BlockedCall()
    {
        --g_blockedCalls;
        // Our own dispatch calls may have cleared the request of a pass further out.
        askBlockedCallToReturn();
    }
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;
};

void Pass(std::chrono::milliseconds bound, bool bounded)
{
    // In a strand a pass gives the thread back; the next pass made outside strands resumes it.
    if (InStrand()) {
        strands::Suspend(bounded ? strands::Waiting::Until : strands::Waiting::Event, bound.count());
        return;
    }
    EventCounter& counter = Counter();
    const std::uint64_t before = counter.seen;
    // What is pending already ends the pass without sleeping, and so does a strand that wants
    // to go on.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (counter.seen != before || strands::AnyReady()) {
        askBlockedCallToReturn();
        strands::ResumeAll();
        return;
    }
    // A strand's deadline ends the sleep as this pass's own bound would.
    if (const long long strandMs = strands::MsToEarliestDeadline(); strandMs >= 0) {
        const std::chrono::milliseconds strandBound(strandMs);
        if (!bounded || strandBound < bound)
            bound = strandBound;
        bounded = true;
    }
    const int timer = bounded ? counter.startTimer(bound, Qt::CoarseTimer) : 0;
    {
        const BlockedCall blocked;
        while (counter.seen == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (timer != 0)
        counter.killTimer(timer);
    // An event handled above may have posted the message that actually ends the wait.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    askBlockedCallToReturn();
    strands::ResumeAll();
}

} // namespace

void ProcessMessages()
{
    if (InStrand()) {
        strands::Suspend(strands::Waiting::Ready, 0);
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    askBlockedCallToReturn();
}

void WaitPass()
{
    Pass(std::chrono::milliseconds::zero(), false);
}

void WaitPassFor(std::chrono::milliseconds bound)
{
    Pass(bound, true);
}

} // namespace platform
