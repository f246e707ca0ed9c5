#include "platform/desktop/NotifyIcon.h"

#include "platform/desktop/DesktopBus.h"

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstring>
#include <limits>
#include <map>
#include <utility>

namespace platform {
namespace {

std::map<HICON, QIcon>& iconTable()
{
    static std::map<HICON, QIcon> table;
    return table;
}

HICON g_nextIcon = 1;

// The desktop's notification area through Qt. Qt reports activations, not button presses and
// releases, so each activation is turned into the mouse messages the platform would send.
//
// Qt shows the icon in one of two ways, chosen once per process: embedded in an X tray host, or
// as a StatusNotifierItem on the session bus when a StatusNotifierWatcher with a host is there
// (KDE Plasma, XFCE, GNOME with its AppIndicator extension). Such hosts report no double click:
// their one left-button action, the item's activation, stands for the double click there. They
// also draw the item's menu themselves, so the menu is exported to them; an embedded icon's menu
// is popped up by its owner on the right button's release.
class QtNotifyArea : public NotifyArea {
public:
    bool Notify(unsigned message, const NOTIFYICONDATA& data) override
    {
        const Key key { data.hWnd, data.uID };
        switch (message) {
        case NIM_ADD: {
            if (!hostKnown_) {
                // Asked before Qt makes its own choice, with the same question, on the same bus.
                itemHost_ = StatusNotifierHostOn(DesktopBus());
                hostKnown_ = true;
            }
            if (icons_.count(key) || !Available())
                return false;
            auto entry = std::make_unique<Entry>();
            entry->target = data.hWnd;
            entry->id = data.uID;
            entry->itemHost = itemHost_;
            if (!Apply(*entry, data) || entry->tray.icon().isNull())
                return false;
            Connect(*entry);
            entry->tray.show();
            icons_.emplace(key, std::move(entry));
            return true;
        }
        case NIM_MODIFY: {
            auto it = icons_.find(key);
            return it != icons_.end() && Apply(*it->second, data);
        }
        case NIM_DELETE:
            return icons_.erase(key) > 0;
        default:
            return false;
        }
    }

    bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    bool SetMenu(std::uint32_t hWnd, std::uint32_t uID, QMenu* menu) override
    {
        auto it = icons_.find(Key { hWnd, uID });
        if (it == icons_.end())
            return false;
        Entry& entry = *it->second;
        if (entry.itemHost && entry.menu != menu) {
            entry.menu = menu;
            entry.tray.setContextMenu(menu);
        }
        return true;
    }

private:
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    struct Entry {
        QSystemTrayIcon tray;
        std::uint32_t target = 0;
        std::uint32_t id = 0;
        std::uint32_t callback = 0;
        bool itemHost = false; // shown as a StatusNotifierItem
        QPointer<QMenu> menu;
    };

    static bool Apply(Entry& entry, const NOTIFYICONDATA& data)
    {
        if (data.uFlags & NIF_MESSAGE)
            entry.callback = data.uCallbackMessage;
        if (data.uFlags & NIF_TIP)
            entry.tray.setToolTip(TipText(data));
        if (data.uFlags & NIF_ICON) {
            const QIcon icon = IconFromHandle(data.hIcon);
            if (icon.isNull())
                return false;
            entry.tray.setIcon(icon);
        }
        return true;
    }

    static void Connect(Entry& entry)
    {
        Entry* e = &entry;
        QObject::connect(&entry.tray, &QSystemTrayIcon::activated, [e](QSystemTrayIcon::ActivationReason reason) {
            if (e->callback == 0)
                return;
            auto post = [e](unsigned mouseMessage) {
                PostMessage(e->target, e->callback, e->id, static_cast<LPARAM>(mouseMessage));
            };
            switch (reason) {
            case QSystemTrayIcon::Trigger:
                post(WM_LBUTTONDOWN);
                post(WM_LBUTTONUP);
                if (e->itemHost) {
                    post(WM_LBUTTONDBLCLK);
                    post(WM_LBUTTONUP);
                }
                break;
            case QSystemTrayIcon::DoubleClick:
                post(WM_LBUTTONDBLCLK);
                post(WM_LBUTTONUP);
                break;
            case QSystemTrayIcon::Context:
                post(WM_RBUTTONDOWN);
                post(WM_RBUTTONUP);
                break;
            case QSystemTrayIcon::MiddleClick:
                post(WM_MBUTTONDOWN);
                post(WM_MBUTTONUP);
                break;
            case QSystemTrayIcon::Unknown:
                break;
            }
        });
    }

    std::map<Key, std::unique_ptr<Entry>> icons_;
    bool hostKnown_ = false;
    bool itemHost_ = false;
};

std::unique_ptr<NotifyArea>& currentArea()
{
    static std::unique_ptr<NotifyArea> area;
    if (!area)
        area = std::make_unique<QtNotifyArea>();
    return area;
}

} // namespace

std::uint32_t HandleToRecord(HWND handle)
{
    if (handle > std::numeric_limits<std::uint32_t>::max())
        return 0;
    return static_cast<std::uint32_t>(handle);
}

HICON CreateIconHandle(const QIcon& icon)
{
    if (icon.isNull())
        return 0;
    const HICON handle = g_nextIcon++;
    iconTable().emplace(handle, icon);
    return handle;
}

void DestroyIconHandle(HICON handle)
{
    iconTable().erase(handle);
}

QIcon IconFromHandle(HICON handle)
{
    auto it = iconTable().find(handle);
    return it == iconTable().end() ? QIcon() : it->second;
}

bool Shell_NotifyIcon(unsigned message, const NOTIFYICONDATA* data)
{
    if (!data || data->cbSize != NOTIFYICONDATA_V1_SIZE)
        return false;
    return currentArea()->Notify(message, *data);
}

bool SetNotifyIconMenu(std::uint32_t hWnd, std::uint32_t uID, QMenu* menu)
{
    return currentArea()->SetMenu(hWnd, uID, menu);
}

bool NotifyAreaAvailable()
{
    return currentArea()->Available();
}

std::unique_ptr<NotifyArea> SetNotifyArea(std::unique_ptr<NotifyArea> area)
{
    std::unique_ptr<NotifyArea> previous = std::move(currentArea());
    currentArea() = area ? std::move(area) : std::make_unique<QtNotifyArea>();
    return previous;
}

QString TipText(const NOTIFYICONDATA& data)
{
    const void* end = std::memchr(data.szTip, 0, sizeof data.szTip);
    const auto length
        = end ? static_cast<const char*>(end) - data.szTip : static_cast<std::ptrdiff_t>(sizeof data.szTip);
    return QString::fromLocal8Bit(data.szTip, static_cast<qsizetype>(length));
}

} // namespace platform
