// TTimer: a periodic timer over a message target, restarted whenever its interval or switch changes.
#include "app/Timer.h"

#include "platform/core/Exceptions.h"

namespace app {

using namespace platform;

TTimer::TTimer(QObject* owner)
    : QObject(owner)
    , FWindow([this](unsigned msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_TIMER && OnTimer)
            OnTimer(this);
        return 0;
    })
{ }

void TTimer::SetInterval(std::uint32_t interval)
{
    if (interval == FInterval)
        return;
    FInterval = interval;
    UpdateTimer();
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    FWindow.KillTimer(1);
    FRunning = false;
    if (FInterval == 0 || !FEnabled)
        return;
    if (!FWindow.SetTimer(1, FInterval))
        throw Exception("Not enough timers available");
    FRunning = true;
}

} // namespace app
