#include "platform/core/MessageTarget.h"

#include "platform/core/ErrorReport.h"
#include "platform/core/Exceptions.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimerEvent>

#include <atomic>
#include <limits>
#include <map>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct MessageEvent : QEvent {
    MessageEvent(unsigned m, WPARAM w, LPARAM l) : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
};

std::atomic<bool> g_refuseTimers{false};

} // namespace

class MessageTarget::Receiver : public QObject {
public:
    explicit Receiver(Handler h) : handler(std::move(h)) {}

    Handler handler;
    std::map<std::uintptr_t, int> timers; // our id -> Qt's id
    std::unordered_map<int, std::uintptr_t> byQtId;

    void dispatch(unsigned msg, WPARAM w, LPARAM l)
    {
        // The last line of defence: no exception may cross the Qt event loop.
        try {
            handler(msg, w, l);
        } catch (const std::exception& e) {
            ReportError(e);
        } catch (...) {
            ReportError(Exception("Unknown error"));
        }
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == kMessageEvent) {
            auto* m = static_cast<MessageEvent*>(e);
            dispatch(m->msg, m->wParam, m->lParam);
            return true;
        }
        return QObject::event(e);
    }

    void timerEvent(QTimerEvent* e) override
    {
        auto it = byQtId.find(e->timerId());
        if (it != byQtId.end())
            dispatch(WM_TIMER, it->second, 0);
    }
};

namespace {

// Handles are looked up from worker threads too (the name resolver posts its answers). A
// resolver thread may finish after main() has returned and the statics are gone, so the
// registry is never destroyed.
struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, QObject*> targets;
    HWND nextHandle = 0x1000;
};
Registry& registry()
{
    static Registry* kept = new Registry;
    return *kept;
}

} // namespace

MessageTarget::MessageTarget(Handler handler) : receiver_(std::make_unique<Receiver>(std::move(handler)))
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    handle_ = r.nextHandle++;
    r.targets.emplace(handle_, receiver_.get());
}

MessageTarget::~MessageTarget()
{
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.targets.erase(handle_);
    }
    // Deleting the receiver removes the events still queued for it.
    receiver_.reset();
}

bool MessageTarget::SetTimer(std::uintptr_t id, unsigned milliseconds)
{
    KillTimer(id);
    // Qt's timers count in a signed int of milliseconds; a longer period is refused.
    if (g_refuseTimers.load() || milliseconds > static_cast<unsigned>(std::numeric_limits<int>::max()))
        return false;
    const int qtId = receiver_->startTimer(std::chrono::milliseconds(milliseconds), Qt::PreciseTimer);
    if (qtId == 0)
        return false;
    receiver_->timers[id] = qtId;
    receiver_->byQtId[qtId] = id;
    return true;
}

bool MessageTarget::KillTimer(std::uintptr_t id)
{
    auto it = receiver_->timers.find(id);
    if (it == receiver_->timers.end())
        return false;
    receiver_->killTimer(it->second);
    receiver_->byQtId.erase(it->second);
    receiver_->timers.erase(it);
    return true;
}

bool PostMessage(HWND target, unsigned msg, WPARAM wParam, LPARAM lParam)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.targets.find(target);
    if (it == r.targets.end())
        return false;
    QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam));
    return true;
}

void SetTimerRefusalForTesting(bool refuse)
{
    g_refuseTimers.store(refuse);
}

} // namespace platform
