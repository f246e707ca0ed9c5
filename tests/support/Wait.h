// Waiting in tests: run the event loop until a condition holds or a deadline passes.
#pragma once

#include "platform/MessageLoop.h"

#include <QElapsedTimer>

#include <functional>

namespace testing_support {

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        platform::WaitPass();
    }
    return true;
}

inline void RunEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        platform::WaitPass();
}

} // namespace testing_support
