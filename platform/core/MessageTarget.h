// Hidden message targets: posted messages and system timers delivered through the Qt event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using HWND = std::uintptr_t; // 0 means no target
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_ACTIVATEAPP = 28;
constexpr unsigned WM_TIMER = 275;
constexpr unsigned WM_USER = 1024;

constexpr std::uint16_t LOWORD(LPARAM v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
constexpr std::uint16_t HIWORD(LPARAM v) { return static_cast<std::uint16_t>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(std::uint16_t low, std::uint16_t high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

// A message-only window: a handle that other code posts to, and a handler that runs on the
// owning (user-interface) thread while that thread processes events. Messages keep their
// posting order; those still queued when the target is destroyed are dropped.
class MessageTarget {
public:
    using Handler = std::function<LRESULT(unsigned msg, WPARAM wParam, LPARAM lParam)>;

    explicit MessageTarget(Handler handler);
    ~MessageTarget();
    MessageTarget(const MessageTarget&) = delete;
    MessageTarget& operator=(const MessageTarget&) = delete;

    HWND handle() const { return handle_; }

    // Starts or restarts the periodic timer `id`; each tick arrives as WM_TIMER with wParam = id.
    // False when the system refuses the timer.
    bool SetTimer(std::uintptr_t id, unsigned milliseconds);
    bool KillTimer(std::uintptr_t id);

private:
    class Receiver;
    HWND handle_ = 0;
    std::unique_ptr<Receiver> receiver_;
};

// Queues a message for the target; callable from any thread. False when the target is gone.
bool PostMessage(HWND target, unsigned msg, WPARAM wParam, LPARAM lParam);

// Lets a test make the system refuse new timers, as it does when its timer table is full.
void SetTimerRefusalForTesting(bool refuse);

} // namespace platform
