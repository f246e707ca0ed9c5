// Waiting in tests: run the event loop until a condition holds or a deadline passes.
#pragma once

#include "platform/core/MessageLoop.h"

#include <QElapsedTimer>

#include <chrono>
#include <functional>

namespace testing_support {

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left < 0)
            return false;
        // A wait pass alone sleeps until an event comes, which may be never.
        platform::WaitPassFor(std::chrono::milliseconds(left + 1));
    }
    return true;
}

inline void RunEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed())
        platform::WaitPassFor(std::chrono::milliseconds(left));
}

} // namespace testing_support
