#include "platform/desktop/BusNotifier.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QVariantMap>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
constexpr int kImageSize = 64;

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, RGBA bytes.
QVariant imageHint(const QIcon& icon)
{
    const QImage image = icon.pixmap(kImageSize, kImageSize).toImage().convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull())
        return {};
    QDBusArgument argument;
    argument.beginStructure();
    argument << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QDBusMessage call(const QString& method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    // A desktop whose service is started on demand starts it for a notice; none waits for it long.
    message.setAutoStartService(true);
    return message;
}

} // namespace

QString EscapeBodyMarkup(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            escaped += QStringLiteral("&amp;");
        else if (c == u'<')
            escaped += QStringLiteral("&lt;");
        else if (c == u'>')
            escaped += QStringLiteral("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

BusNotifier::BusNotifier(const QDBusConnection& bus)
    : bus_(bus)
{
    bus_.connect(
        kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus_.connect(
        kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
}

void BusNotifier::Show(const DesktopNotice& notice)
{
    if (!bus_.isConnected())
        return;
    if (capabilities_ == Capabilities::Known) {
        send(notice);
        return;
    }
    waiting_ = notice;
    if (capabilities_ == Capabilities::Unknown)
        askCapabilities();
    else
        arrivedWhileAsking_ = true;
}

// The body is sent as the service reads it: escaped for a service that reads markup, plain for
// one that shows the text as it comes. So the first notice waits for the answer to that question.
void BusNotifier::askCapabilities()
{
    capabilities_ = Capabilities::Asking;
    arrivedWhileAsking_ = false;
    auto* watcher
        = new QDBusPendingCallWatcher(bus_.asyncCall(call(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        std::optional<DesktopNotice> notice;
        std::swap(notice, waiting_);
        if (reply.isError()) {
            capabilities_ = Capabilities::Unknown;
            // No service when the question was asked: that notice is dropped. One that came
            // while the answer was on its way may have a service by now, so it asks again.
            if (notice && arrivedWhileAsking_) {
                waiting_ = std::move(notice);
                askCapabilities();
            }
            return;
        }
        markup_ = reply.value().contains(QStringLiteral("body-markup"));
        capabilities_ = Capabilities::Known;
        if (notice)
            send(*notice);
    });
}

void BusNotifier::send(const DesktopNotice& notice)
{
    onDefaultAction_ = notice.onDefaultAction;
    QVariantMap hints;
    if (!notice.desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), notice.desktopEntry);
    const QVariant image = imageHint(notice.icon);
    if (image.isValid())
        hints.insert(QStringLiteral("image-data"), image);
    QStringList actions;
    if (notice.onDefaultAction)
        actions << kDefaultAction << QStringLiteral("Show");

    QDBusMessage message = call(QStringLiteral("Notify"));
    message << notice.appName << static_cast<uint>(shownId_) << notice.iconName << notice.summary
            << (markup_ ? EscapeBodyMarkup(notice.body) : notice.body) << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            capabilities_ = Capabilities::Unknown; // the service went away; ask the next one anew
            shownId_ = 0;
            return;
        }
        shownId_ = reply.value();
    });
}

void BusNotifier::actionInvoked(uint id, const QString& actionKey)
{
    if (id == 0 || id != shownId_ || actionKey != kDefaultAction || !onDefaultAction_)
        return;
    // Called from the event loop: nothing may escape from here.
    try {
        const auto action = onDefaultAction_;
        action();
    } catch (...) { }
}

void BusNotifier::notificationClosed(uint id, uint)
{
    if (id != 0 && id == shownId_)
        shownId_ = 0;
}

} // namespace platform
