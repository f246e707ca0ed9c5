#include "platform/MessageLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>

#include <chrono>

namespace platform {
namespace {

// Its only job is to be the receiver of the 2 ms wake-up timer.
class Waker : public QObject {
protected:
    void timerEvent(QTimerEvent*) override {}
};

// Every flag a wait loop tests is changed by an event handler (a socket notification, a posted
// message, a timer tick), and any event ends the pass at once; the bound is only a safety net.
// 10 ms keeps an idle wait at about 100 wake-ups a second instead of 500.
constexpr std::chrono::milliseconds kPassBound{10};

} // namespace

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitPass()
{
    // Wait loops run on the user-interface thread only; the waker lives as long as the process.
    static Waker* waker = new Waker;
    const int id = waker->startTimer(kPassBound, Qt::CoarseTimer);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    waker->killTimer(id);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
