#include "net/ThreadTimer.h"

#include "net/Psock.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/MessageTarget.h"
#include "tests/fixtures/Wait.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using net::TThreadTimer;
using testing_support::RunEventsFor;
using testing_support::WaitUntil;

namespace {

// Counts the expiries that reach the Abort hook.
class CountingSock : public net::TPowersock {
public:
    CountingSock()
        : TPowersock(nullptr)
    { }
    void Abort() override { ++aborts; }
    int aborts = 0;
};

} // namespace

TEST(ThreadTimer, StartsEnabledWithOneSecondButIdleUntilAHandlerIsSet)
{
    TThreadTimer t(nullptr);
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(t.Interval(), 1000U);
    int ticks = 0;
    t.SetInterval(10);
    RunEventsFor(50);
    t.SetOnTimer([&](QObject*) { ++ticks; });
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 2; }));
}

TEST(ThreadTimer, IntervalZeroNeverFires)
{
    TThreadTimer t(nullptr);
    int ticks = 0;
    t.SetInterval(0);
    t.SetOnTimer([&](QObject*) { ++ticks; });
    RunEventsFor(100);
    EXPECT_EQ(ticks, 0);
}

TEST(ThreadTimer, ClearingTheHandlerStopsIt)
{
    TThreadTimer t(nullptr);
    int ticks = 0;
    t.SetInterval(10);
    t.SetOnTimer([&](QObject*) {
        ++ticks;
        t.SetOnTimer(nullptr);
    });
    RunEventsFor(100);
    EXPECT_EQ(ticks, 1);
}

TEST(ThreadTimer, SettingTheSameIntervalDoesNotRestartThePeriod)
{
    TThreadTimer t(nullptr);
    QElapsedTimer clock;
    qint64 firedAt = -1;
    t.SetInterval(300);
    clock.start();
    t.SetOnTimer([&](QObject*) {
        if (firedAt < 0)
            firedAt = clock.elapsed();
    });
    RunEventsFor(200);
    t.SetInterval(300);
    ASSERT_TRUE(WaitUntil([&] { return firedAt >= 0; }));
    // A restart at 200 ms would have put the first tick at 500 ms or later.
    EXPECT_LT(firedAt, 480);
}

TEST(ThreadTimer, RefusalRaisesNoTimer)
{
    TThreadTimer t(nullptr);
    t.SetEnabled(false);
    t.SetOnTimer([](QObject*) {});
    platform::SetTimerRefusalForTesting(true);
    try {
        t.SetEnabled(true);
        ADD_FAILURE() << "no exception";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message, "No Timer");
    }
    platform::SetTimerRefusalForTesting(false);
}

TEST(ThreadTimer, AnExceptionFromTheHandlerReachesTheGeneralErrorReport)
{
    std::vector<std::string> reported;
    auto previous = platform::SetErrorReport([&](const std::exception& e) { reported.push_back(e.what()); });
    TThreadTimer t(nullptr);
    t.SetInterval(10);
    t.SetOnTimer([&](QObject*) {
        t.SetEnabled(false);
        throw platform::Exception("handler failed");
    });
    const bool seen = WaitUntil([&] { return !reported.empty(); });
    platform::SetErrorReport(std::move(previous));
    ASSERT_TRUE(seen);
    EXPECT_EQ(reported, std::vector<std::string> { "handler failed" });
    EXPECT_FALSE(t.Enabled());
}

TEST(TimeOutTimer, ExpiresOncePerArming)
{
    CountingSock s;
    s.TimeOut = 20;
    s.TimerOn();
    ASSERT_TRUE(WaitUntil([&] { return s.TimedOut; }));
    RunEventsFor(100);
    EXPECT_EQ(s.aborts, 1);
}

TEST(TimeOutTimer, ArmingAgainRestartsTheFullPeriod)
{
    CountingSock s;
    s.TimeOut = 300;
    s.TimerOn();
    RunEventsFor(200);
    s.TimerOff();
    s.TimerOn();
    RunEventsFor(200);
    EXPECT_FALSE(s.TimedOut) << "the second arming kept the first period";
    EXPECT_TRUE(WaitUntil([&] { return s.TimedOut; }));
    EXPECT_EQ(s.aborts, 1);
}

TEST(TimeOutTimer, DisarmingBeforeTheExpiryPreventsIt)
{
    CountingSock s;
    s.TimeOut = 50;
    s.TimerOn();
    s.TimerOff();
    RunEventsFor(150);
    EXPECT_FALSE(s.TimedOut);
    EXPECT_EQ(s.aborts, 0);
}

TEST(TimeOutTimer, ZeroAndNegativeTimeOutsMeanNoLimit)
{
    for (int timeout : { 0, -5 }) {
        CountingSock s;
        s.TimeOut = timeout;
        s.TimerOn();
        RunEventsFor(60);
        EXPECT_FALSE(s.TimedOut) << timeout;
    }
}

TEST(TimeOutTimer, ArmingClearsAnEarlierExpiry)
{
    CountingSock s;
    s.TimeOut = 10;
    s.TimerOn();
    ASSERT_TRUE(WaitUntil([&] { return s.TimedOut; }));
    s.TimeOut = 10000;
    s.TimerOn();
    EXPECT_FALSE(s.TimedOut);
    s.TimerOff();
}
