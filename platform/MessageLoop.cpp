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

} // namespace

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitPass()
{
    // Wait loops run on the user-interface thread only; the waker lives as long as the process.
    static Waker* waker = new Waker;
    const int id = waker->startTimer(std::chrono::milliseconds(2), Qt::PreciseTimer);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    waker->killTimer(id);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
