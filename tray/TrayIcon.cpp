#include "tray/TrayIcon.h"

#include "platform/core/Exceptions.h"
#include "platform/desktop/Application.h"

#include <QByteArray>
#include <QCursor>
#include <QMenu>

#include <cstring>

namespace tray {

using namespace platform;

TTrayIcon::TTrayIcon(QObject* owner)
    : QObject(owner)
    , FWindow([this](unsigned msg, WPARAM w, LPARAM l) { return TrayWndProc(msg, w, l); })
{ }

TTrayIcon::~TTrayIcon()
{
    SetEnabled(false);
}

void TTrayIcon::SetIcon(const TIcon& icon)
{
    FIcon.Assign(icon);
    if (FIcon.Empty() || !FEnabled)
        return;
    NOTIFYICONDATA data = Record();
    data.uFlags = NIF_ICON;
    data.hIcon = FIcon.Handle();
    Shell_NotifyIcon(NIM_MODIFY, &data);
}

void TTrayIcon::SetHint(const QString& hint)
{
    FHint = hint.left(kMaxHintLength);
    if (!FEnabled)
        return;
    NOTIFYICONDATA data = Record();
    data.uFlags = NIF_TIP;
    FillTip(data.szTip, FHint);
    Shell_NotifyIcon(NIM_MODIFY, &data);
}

void TTrayIcon::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    if (enabled)
        AddIcon();
    else
        RemoveIcon();
}

void TTrayIcon::SetOnMinimize(TNotifyEvent handler)
{
    FOnMinimize = handler;
    Application::instance().OnMinimize = std::move(handler);
}

void TTrayIcon::SetOnRestore(TNotifyEvent handler)
{
    FOnRestore = handler;
    Application::instance().OnRestore = std::move(handler);
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    FPopupMenu = menu;
    if (FEnabled)
        SetNotifyIconMenu(HandleToRecord(FWindow.handle()), 0, menu);
}

NOTIFYICONDATA TTrayIcon::Record() const
{
    NOTIFYICONDATA data;
    data.cbSize = NOTIFYICONDATA_V1_SIZE;
    data.hWnd = HandleToRecord(FWindow.handle());
    data.uID = 0;
    return data;
}

void TTrayIcon::AddIcon()
{
    if (FIcon.Empty() || FEnabled)
        return;
    NOTIFYICONDATA data = Record();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = FIcon.Handle();
    FillTip(data.szTip, FHint);
    if (!Shell_NotifyIcon(NIM_ADD, &data))
        return;
    FEnabled = true;
    if (QMenu* menu = FPopupMenu.data())
        SetNotifyIconMenu(data.hWnd, data.uID, menu);
}

void TTrayIcon::RemoveIcon()
{
    if (!FEnabled)
        return;
    NOTIFYICONDATA data = Record();
    if (Shell_NotifyIcon(NIM_DELETE, &data))
        FEnabled = false;
}

LRESULT TTrayIcon::TrayWndProc(unsigned msg, WPARAM, LPARAM lParam)
{
    if (msg != WM_TRAYICON)
        return 0; // a message-only target has no default handling to hand the rest to
    try {
        switch (static_cast<unsigned>(lParam)) {
        case WM_LBUTTONDOWN:
            if (OnClick)
                OnClick(this);
            break;
        case WM_LBUTTONDBLCLK:
            if (OnDlbClick)
                OnDlbClick(this);
            break;
        case WM_RBUTTONUP:
            if (QMenu* menu = FPopupMenu.data())
                menu->popup(QCursor::pos());
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        Application::instance().HandleException(e);
    } catch (...) {
        Application::instance().HandleException(Exception("Unknown error"));
    }
    return 0;
}

void FillTip(char (&field)[64], const QString& hint)
{
    constexpr qsizetype capacity = sizeof field - 1;
    QByteArray bytes = hint.toLocal8Bit();
    if (bytes.size() > capacity) {
        const QByteArray more = "...";
        qsizetype cut = capacity - more.size();
        // Never leave half a multi-byte character in front of the dots.
        while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes = bytes.left(cut) + more;
    }
    std::memset(field, 0, sizeof field);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace tray
