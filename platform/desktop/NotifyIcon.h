// The notification area: one call that adds, changes and removes icons, with the record of the
// first platform version (88 bytes, 64-byte tooltip), and the icon handles that record carries.
#pragma once

#include "platform/core/MessageTarget.h"

#include <QIcon>

#include <cstdint>
#include <memory>

class QMenu;

namespace platform {

using HICON = std::uint32_t; // 0 means no icon

constexpr unsigned NIM_ADD = 0;
constexpr unsigned NIM_MODIFY = 1;
constexpr unsigned NIM_DELETE = 2;

constexpr unsigned NIF_MESSAGE = 1;
constexpr unsigned NIF_ICON = 2;
constexpr unsigned NIF_TIP = 4;

constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
constexpr unsigned WM_MBUTTONUP = 0x0208;

// Laid out as the 32-bit platform lays it out, so that cbSize 88 is the record's real size.
struct NOTIFYICONDATA {
    std::uint32_t cbSize = 0;
    std::uint32_t hWnd = 0; // the message target that receives the callback messages
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    HICON hIcon = 0;
    char szTip[64] = {};
};
static_assert(sizeof(NOTIFYICONDATA) == 88, "the first record size of the notification area");

constexpr std::uint32_t NOTIFYICONDATA_V1_SIZE = 88;

// Message targets are numbered from a small base, so a handle fits the record's 32-bit field.
std::uint32_t HandleToRecord(HWND handle);

// Icon handles: a picture registered with the platform for as long as the handle lives.
HICON CreateIconHandle(const QIcon& icon);
void DestroyIconHandle(HICON handle);
QIcon IconFromHandle(HICON handle); // a null icon for an unknown handle

// What stands behind Shell_NotifyIcon. Tests put a recording fake in its place.
class NotifyArea {
public:
    virtual ~NotifyArea() = default;
    virtual bool Notify(unsigned message, const NOTIFYICONDATA& data) = 0;
    // False when the desktop offers no notification area at all.
    virtual bool Available() const = 0;
    // The icon's menu, for hosts that draw an icon's menu themselves; false for an unknown icon.
    virtual bool SetMenu(std::uint32_t hWnd, std::uint32_t uID, QMenu* menu) = 0;
};

// Adds, changes or deletes an icon; true on success. A record of the wrong size fails.
bool Shell_NotifyIcon(unsigned message, const NOTIFYICONDATA* data);
// Hands the icon's menu to the notification area. Hosts that show icons as StatusNotifierItems
// draw the menu themselves and run its actions; elsewhere the owner pops it up on WM_RBUTTONUP.
bool SetNotifyIconMenu(std::uint32_t hWnd, std::uint32_t uID, QMenu* menu);
bool NotifyAreaAvailable();

// Installs `area` (nullptr: the real one) and returns the one it replaces.
std::unique_ptr<NotifyArea> SetNotifyArea(std::unique_ptr<NotifyArea> area);

// The text of a tooltip field: the bytes up to the first zero, never past the field's end.
QString TipText(const NOTIFYICONDATA& data);

} // namespace platform
