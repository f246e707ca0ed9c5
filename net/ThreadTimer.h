// The time-out timer of a socket component: a periodic timer with its own hidden window.
#pragma once

#include "platform/core/Events.h"
#include "platform/core/MessageTarget.h"

#include <QObject>

#include <cstdint>

namespace net {

class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* owner);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    std::uint32_t Interval() const { return FInterval; }
    void SetInterval(std::uint32_t value);
    const platform::TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(platform::TNotifyEvent handler);

    // Kills the system timer, then starts it again when the timer should run.
    // Raises "No Timer" when the system refuses.
    void UpdateTimer();
    void FireTimer();

private:
    platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);

    std::uint32_t FInterval = 1000;
    platform::MessageTarget FWindow;
    platform::TNotifyEvent FOnTimer;
    bool FEnabled = true;
};

} // namespace net
