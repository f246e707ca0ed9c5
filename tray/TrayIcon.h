// TTrayIcon: one icon with a tooltip in the notification area, its mouse actions as events and a
// popup menu, and the owner's handlers for the application's minimise and restore events.
#pragma once

#include "platform/core/Events.h"
#include "platform/core/MessageTarget.h"
#include "platform/desktop/NotifyIcon.h"
#include "tray/Icon.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

namespace tray {

constexpr unsigned WM_TRAYICON = platform::WM_USER + 600;
constexpr int kMaxHintLength = 255;

class TTrayIcon : public QObject {
public:
    explicit TTrayIcon(QObject* owner);
    ~TTrayIcon() override;

    const TIcon& Icon() const { return FIcon; }
    void SetIcon(const TIcon& icon);

    QString Hint() const { return FHint; }
    void SetHint(const QString& hint);

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);

    platform::TNotifyEvent OnClick;
    platform::TNotifyEvent OnDlbClick;
    platform::TNotifyEvent OnMinimize() const { return FOnMinimize; }
    platform::TNotifyEvent OnRestore() const { return FOnRestore; }
    // Also installed as the application's own minimise and restore events.
    void SetOnMinimize(platform::TNotifyEvent handler);
    void SetOnRestore(platform::TNotifyEvent handler);

    QMenu* PopupMenu() const { return FPopupMenu.data(); }
    // Also handed to the notification area, for hosts that draw the menu themselves.
    void SetPopupMenu(QMenu* menu);

    platform::HWND Handle() const { return FWindow.handle(); }

private:
    void AddIcon();
    void RemoveIcon();
    platform::NOTIFYICONDATA Record() const;
    platform::LRESULT TrayWndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);

    bool FEnabled = false;
    platform::MessageTarget FWindow;
    platform::TNotifyEvent FOnMinimize;
    platform::TNotifyEvent FOnRestore;
    QPointer<QMenu> FPopupMenu;
    TIcon FIcon;
    QString FHint;
};

// Puts `hint` into the 64-byte tooltip field with its terminating zero. A hint that does not fit
// is cut at a character boundary and ends in "..." so the reader sees that it goes on.
void FillTip(char (&field)[64], const QString& hint);

} // namespace tray
