// Strands: blocking work that waits beside other blocking work on one thread. Each test would
// hang or fail if waits still ran one inside the other.
#include "platform/core/Strand.h"

#include "platform/core/MessageLoop.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

namespace {

// Passes until every strand is over; false when that took implausibly many.
bool RunUntilOver(const std::vector<const Strand*>& strands)
{
    for (int passes = 0; passes < 10000; ++passes) {
        bool over = true;
        for (const Strand* s : strands)
            over = over && s->Finished();
        if (over)
            return true;
        WaitPass();
    }
    return false;
}

std::string Message(const std::exception_ptr& error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(Strand, WaitsGoOnSideBySide)
{
    std::vector<std::string> steps;
    bool slowTicked = false;
    bool quickTicked = false;
    QTimer::singleShot(200, [&] { slowTicked = true; });
    QTimer::singleShot(20, [&] { quickTicked = true; });
    const Strand slow([&] {
        steps.push_back("slow waits");
        while (!slowTicked)
            WaitPass();
        steps.push_back("slow done");
    });
    const Strand quick([&] {
        steps.push_back("quick waits");
        while (!quickTicked)
            WaitPass();
        steps.push_back("quick done");
    });
    ASSERT_TRUE(RunUntilOver({ &slow, &quick }));
    // One wait inside the other would have ended the slow one first.
    EXPECT_EQ(steps, (std::vector<std::string> { "slow waits", "quick waits", "quick done", "slow done" }));
    EXPECT_FALSE(slow.Error());
}

TEST(Strand, ABoundedWaitEndsWithNothingElseToWakeTheThread)
{
    ProcessMessages();
    int passes = 0;
    const auto start = std::chrono::steady_clock::now();
    const Strand waiter([&] {
        while (std::chrono::steady_clock::now() - start < 60ms) {
            WaitPassFor(30ms);
            ++passes;
        }
    });
    // Nothing is pending or due: only the strand's own bound may end the thread's sleep.
    QTimer rescue;
    bool rescued = false;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] { rescued = true; });
    rescue.start(10s);
    ASSERT_TRUE(RunUntilOver({ &waiter }));
    EXPECT_FALSE(rescued);
    EXPECT_LE(passes, 10);
}

TEST(Strand, AStrandWaitingInACatchBlockKeepsItsOwnException)
{
    bool go = false;
    QTimer::singleShot(20, [&] { go = true; });
    auto rethrowAfterWait = [&](const char* text) {
        return [&go, text] {
            try {
                throw std::runtime_error(text);
            } catch (...) {
                while (!go)
                    WaitPass();
                throw;
            }
        };
    };
    const Strand a(rethrowAfterWait("a"));
    const Strand b(rethrowAfterWait("b"));
    try {
        throw std::logic_error("thread");
    } catch (...) {
        // The thread handles an exception of its own while the strands handle theirs.
        ASSERT_TRUE(RunUntilOver({ &a, &b }));
        EXPECT_EQ(Message(std::current_exception()), "thread");
    }
    EXPECT_EQ(Message(a.Error()), "a");
    EXPECT_EQ(Message(b.Error()), "b");
    EXPECT_FALSE(std::current_exception());
}

TEST(Strand, ProcessMessagesInAStrandLetsTheThreadGoOn)
{
    int turns = 0;
    bool stop = false;
    const Strand spinner([&] {
        while (!stop) {
            ProcessMessages();
            ++turns;
        }
    });
    // The thread is never stuck in the strand's loop: it gets every turn back.
    for (int i = 0; i < 5; ++i)
        WaitPass();
    stop = true;
    ASSERT_TRUE(RunUntilOver({ &spinner }));
    EXPECT_GE(turns, 4);
    EXPECT_FALSE(InStrand());
}
