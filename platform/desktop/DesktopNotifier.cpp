#include "platform/desktop/DesktopNotifier.h"

#include "platform/desktop/BusNotifier.h"
#include "platform/desktop/DesktopBus.h"

#include <QCoreApplication>

namespace platform {
namespace {

class NoNotifier : public DesktopNotifier {
public:
    void Show(const DesktopNotice&) override { }
};

std::unique_ptr<DesktopNotifier>& current()
{
    static std::unique_ptr<DesktopNotifier> notifier;
    return notifier;
}

// The bus connection must go before the application object does.
void dropNotifier()
{
    current().reset();
}

} // namespace

DesktopNotifier& Notifier()
{
    auto& notifier = current();
    if (!notifier) {
        static const bool cleanupInstalled = (qAddPostRoutine(dropNotifier), true);
        (void)cleanupInstalled;
        const QDBusConnection bus = DesktopBus();
        if (bus.isConnected())
            notifier = std::make_unique<BusNotifier>(bus);
        else
            notifier = std::make_unique<NoNotifier>();
    }
    return *notifier;
}

std::unique_ptr<DesktopNotifier> SetNotifier(std::unique_ptr<DesktopNotifier> notifier)
{
    std::unique_ptr<DesktopNotifier> previous = std::move(current());
    current() = std::move(notifier);
    return previous;
}

} // namespace platform
