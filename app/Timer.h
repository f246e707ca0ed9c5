// TTimer: a periodic timer whose ticks arrive as messages of the user-interface thread.
#pragma once

#include "platform/core/Events.h"
#include "platform/core/MessageTarget.h"

#include <QObject>

#include <cstdint>

namespace app {

class TTimer : public QObject {
public:
    explicit TTimer(QObject* owner);

    // Milliseconds between ticks; 0 stops it. Setting another value restarts the count; setting
    // the same value changes nothing. Raises platform::Exception when no timer can be had.
    std::uint32_t Interval() const { return FInterval; }
    void SetInterval(std::uint32_t interval);

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);

    // True while the system timer is counting.
    bool Running() const { return FRunning; }

    platform::TNotifyEvent OnTimer;

private:
    void UpdateTimer();

    std::uint32_t FInterval = 0;
    bool FEnabled = true;
    bool FRunning = false;
    platform::MessageTarget FWindow;
};

} // namespace app
