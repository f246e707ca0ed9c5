#include "net/ThreadTimer.h"

#include "platform/core/ErrorReport.h"
#include "platform/core/Exceptions.h"

namespace net {
namespace {
constexpr std::uintptr_t kTimerId = 1;
}

TThreadTimer::TThreadTimer(QObject* owner)
    : QObject(owner), FWindow([this](unsigned m, platform::WPARAM w, platform::LPARAM l) { return WndProc(m, w, l); })
{
}

TThreadTimer::~TThreadTimer()
{
    FEnabled = false;
    FWindow.KillTimer(kTimerId);
}

void TThreadTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(std::uint32_t value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(platform::TNotifyEvent handler)
{
    FOnTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    FWindow.KillTimer(kTimerId);
    if (FInterval != 0 && FEnabled && FOnTimer) {
        if (!FWindow.SetTimer(kTimerId, FInterval))
            throw platform::Exception("No Timer");
    }
}

void TThreadTimer::FireTimer()
{
    if (FOnTimer) {
        // The handler may replace itself; keep the one being run alive until it returns.
        const platform::TNotifyEvent handler = FOnTimer;
        handler(this);
    }
}

platform::LRESULT TThreadTimer::WndProc(unsigned msg, platform::WPARAM, platform::LPARAM)
{
    if (msg == platform::WM_TIMER) {
        try {
            FireTimer();
        } catch (const std::exception& e) {
            platform::ReportError(e);
        }
    }
    return 0;
}

} // namespace net
