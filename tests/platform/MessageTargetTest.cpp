#include "platform/core/MessageTarget.h"

#include "platform/core/MessageLoop.h"
#include "tests/fixtures/Wait.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;
using testing_support::WaitUntil;

namespace {

struct Recorded {
    unsigned msg;
    WPARAM w;
    LPARAM l;
};

struct Recorder {
    std::vector<Recorded> got;
    MessageTarget target { [this](unsigned m, WPARAM w, LPARAM l) {
        got.push_back({ m, w, l });
        return LRESULT { 0 };
    } };
};

} // namespace

TEST(PostedMessages, ArriveInPostingOrderOnlyWhenEventsAreProcessed)
{
    Recorder r;
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(PostMessage(r.target.handle(), WM_USER + 101, static_cast<WPARAM>(i), -i));
    EXPECT_TRUE(r.got.empty());
    ProcessMessages();
    ASSERT_EQ(r.got.size(), 100U);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(r.got[i].msg, WM_USER + 101);
        EXPECT_EQ(r.got[i].w, static_cast<WPARAM>(i));
        EXPECT_EQ(r.got[i].l, -i);
    }
}

TEST(PostedMessages, AreDroppedForADestroyedTarget)
{
    std::vector<int> got;
    HWND handle;
    {
        MessageTarget target([&](unsigned, WPARAM w, LPARAM) {
            got.push_back(static_cast<int>(w));
            return LRESULT { 0 };
        });
        handle = target.handle();
        PostMessage(handle, WM_USER, 1, 0);
    }
    ProcessMessages();
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(PostMessage(handle, WM_USER, 2, 0));
}

TEST(PostedMessages, TwoTargetsKeepTheirOwnMessages)
{
    Recorder a, b;
    PostMessage(a.target.handle(), WM_USER, 1, 0);
    PostMessage(b.target.handle(), WM_USER, 2, 0);
    PostMessage(a.target.handle(), WM_USER, 3, 0);
    ProcessMessages();
    ASSERT_EQ(a.got.size(), 2U);
    ASSERT_EQ(b.got.size(), 1U);
    EXPECT_EQ(a.got[1].w, 3U);
    EXPECT_EQ(b.got[0].w, 2U);
}

TEST(PostedMessages, AMessagePostedFromAnotherThreadWakesTheWaitPass)
{
    Recorder r;
    std::thread poster([h = r.target.handle()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessage(h, WM_USER + 2, 7, 0);
    });
    EXPECT_TRUE(WaitUntil([&] { return !r.got.empty(); }, 2000));
    poster.join();
    ASSERT_EQ(r.got.size(), 1U);
    EXPECT_EQ(r.got[0].w, 7U);
}

TEST(PostedMessages, AWaitPassDeliversWhatIsAlreadyPending)
{
    Recorder r;
    PostMessage(r.target.handle(), WM_USER, 1, 0);
    WaitPass();
    EXPECT_EQ(r.got.size(), 1U);
}

TEST(PostedMessages, AHandlerMayDestroyAnotherTargetWithMessagesPending)
{
    auto victim = std::make_unique<Recorder>();
    MessageTarget killer([&](unsigned, WPARAM, LPARAM) {
        victim.reset();
        return LRESULT { 0 };
    });
    PostMessage(killer.handle(), WM_USER, 0, 0);
    PostMessage(victim->target.handle(), WM_USER, 0, 0);
    ProcessMessages();
    EXPECT_EQ(victim, nullptr);
}

TEST(SystemTimers, TickAsMessage275WithTheirIdUntilKilled)
{
    Recorder r;
    ASSERT_TRUE(r.target.SetTimer(5, 10));
    ASSERT_TRUE(WaitUntil([&] { return r.got.size() >= 2; }));
    EXPECT_EQ(r.got[0].msg, WM_TIMER);
    EXPECT_EQ(r.got[0].w, 5U);
    EXPECT_TRUE(r.target.KillTimer(5));
    r.got.clear();
    testing_support::RunEventsFor(50);
    EXPECT_TRUE(r.got.empty());
    EXPECT_FALSE(r.target.KillTimer(5));
}

TEST(SystemTimers, CanBeRefused)
{
    Recorder r;
    SetTimerRefusalForTesting(true);
    EXPECT_FALSE(r.target.SetTimer(1, 10));
    SetTimerRefusalForTesting(false);
    EXPECT_TRUE(r.target.SetTimer(1, 10));
}

TEST(SystemTimers, APeriodBeyondWhatTheSystemCountsIsRefused)
{
    Recorder r;
    EXPECT_FALSE(r.target.SetTimer(1, 0x80000000U));
}
