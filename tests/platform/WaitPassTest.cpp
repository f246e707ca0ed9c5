// The wait pass sleeps until an event has been dispatched: whatever ends a wait wakes it, and
// nothing else does. Run with the GLib event dispatcher and, as WaitPassWithoutGLib, without.
#include "platform/core/MessageLoop.h"
#include "platform/core/MessageTarget.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace platform;
using namespace std::chrono_literals;

namespace {

// Should a pass sleep on although its wait has ended, this wakes it after a long while, so that
// the test fails instead of hanging.
class Watchdog {
public:
    Watchdog()
        : rescue_([](unsigned, WPARAM, LPARAM) { return LRESULT { 0 }; })
        , thread_([this, handle = rescue_.handle()] {
            std::unique_lock lock(mutex_);
            if (!stop_.wait_for(lock, 10s, [this] { return stopping_; })) {
                fired_ = true;
                PostMessage(handle, WM_USER, 0, 0);
            }
        })
    { }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_one();
        thread_.join();
    }
    bool Fired() const { return fired_; }

private:
    MessageTarget rescue_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::atomic<bool> fired_ { false };
    std::thread thread_;
};

// Runs passes until done() holds; returns how many it took (at most a bound, as a spinning pass
// would go on for ever).
template <typename Done> int PassesUntil(Done done)
{
    int passes = 0;
    while (!done() && passes < 1000) {
        WaitPass();
        ++passes;
    }
    return passes;
}

} // namespace

TEST(WaitPass, SleepsUntilATimerTicksInsteadOfWakingForNothing)
{
    ProcessMessages();
    const Watchdog watchdog;
    bool ticked = false;
    QTimer::singleShot(300, [&] { ticked = true; });
    const int passes = PassesUntil([&] { return ticked; });
    EXPECT_TRUE(ticked);
    // A pass that woke every few milliseconds would have taken dozens.
    EXPECT_LE(passes, 3);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(WaitPass, AMessagePostedFromAnotherThreadEndsTheSleep)
{
    ProcessMessages();
    const Watchdog watchdog;
    bool arrived = false;
    MessageTarget target([&](unsigned, WPARAM, LPARAM) {
        arrived = true;
        return LRESULT { 0 };
    });
    std::thread poster([h = target.handle()] {
        std::this_thread::sleep_for(150ms);
        PostMessage(h, WM_USER + 5, 0, 0);
    });
    const int passes = PassesUntil([&] { return arrived; });
    poster.join();
    EXPECT_TRUE(arrived);
    EXPECT_LE(passes, 3);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(WaitPass, AnEventAlreadyPendingEndsThePassWithoutSleeping)
{
    const Watchdog watchdog;
    int got = 0;
    MessageTarget target([&](unsigned, WPARAM, LPARAM) {
        ++got;
        return LRESULT { 0 };
    });
    PostMessage(target.handle(), WM_USER, 0, 0);
    PostMessage(target.handle(), WM_USER, 0, 0);
    WaitPass();
    EXPECT_EQ(got, 2);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(WaitPass, AHandlerThatWaitsItselfLetsTheOuterPassReturnAfterIt)
{
    ProcessMessages();
    const Watchdog watchdog;
    bool innerDone = false;
    bool handlerDone = false;
    int innerPasses = 0;
    MessageTarget target([&](unsigned, WPARAM, LPARAM) {
        // A wait inside a handler, as when a check runs from a tray-menu command.
        QTimer::singleShot(100, [&] { innerDone = true; });
        innerPasses = PassesUntil([&] { return innerDone; });
        handlerDone = true;
        return LRESULT { 0 };
    });
    QTimer::singleShot(50, [&] { PostMessage(target.handle(), WM_USER, 0, 0); });
    const int passes = PassesUntil([&] { return handlerDone; });
    EXPECT_TRUE(handlerDone);
    EXPECT_LE(innerPasses, 3);
    EXPECT_LE(passes, 4);
    EXPECT_FALSE(watchdog.Fired()) << "the outer pass slept on after the handler had ended its wait";
}

TEST(WaitPass, ACancelFromAHandlerEndsTheWaitOfTheLoopItInterrupts)
{
    ProcessMessages();
    const Watchdog watchdog;
    bool canceled = false;
    // The loop has nothing of its own that could end it: only the handler's flag does.
    MessageTarget button([&](unsigned, WPARAM, LPARAM) {
        canceled = true;
        return LRESULT { 0 };
    });
    QTimer::singleShot(100, [&] { PostMessage(button.handle(), WM_USER, 0, 0); });
    const int passes = PassesUntil([&] { return canceled; });
    EXPECT_TRUE(canceled);
    EXPECT_LE(passes, 3);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(WaitPass, TheBoundedPassReturnsAtItsBoundWhenNothingArrives)
{
    ProcessMessages();
    const Watchdog watchdog;
    QElapsedTimer clock;
    clock.start();
    WaitPassFor(200ms);
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_FALSE(watchdog.Fired());
}
