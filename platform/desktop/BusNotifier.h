// Notices through the desktop's notification service (org.freedesktop.Notifications) on a bus.
#pragma once

#include "platform/desktop/DesktopNotifier.h"

#include <QDBusConnection>
#include <QObject>

#include <cstdint>
#include <optional>

namespace platform {

class BusNotifier : public QObject, public DesktopNotifier {
    Q_OBJECT
public:
    explicit BusNotifier(const QDBusConnection& bus);

    void Show(const DesktopNotice& notice) override;

    // How long a call to the service may stay unanswered before it is given up.
    static constexpr int kCallTimeoutMs = 2000;

private slots:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

private:
    void askCapabilities();
    void send(const DesktopNotice& notice);

    QDBusConnection bus_;
    enum class Capabilities { Unknown, Asking, Known } capabilities_ = Capabilities::Unknown;
    bool markup_ = false; // the service reads the body as markup
    std::optional<DesktopNotice> waiting_; // held until the service's capabilities are known
    bool arrivedWhileAsking_ = false; // waiting_ came after the question was sent
    std::uint32_t shownId_ = 0; // the service's number of the notice on screen, 0 for none
    std::function<void()> onDefaultAction_;
};

// Escapes the characters that the service's body markup gives a meaning.
QString EscapeBodyMarkup(const QString& text);

} // namespace platform
