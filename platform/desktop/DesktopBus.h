// The desktop's session bus, as the desktop gave it to the program, and the tray hosts on it.
#pragma once

#include <QDBusConnection>

namespace platform {

// The session bus named by DBUS_SESSION_BUS_ADDRESS, or the per-user bus socket under
// XDG_RUNTIME_DIR. Never starts a bus of its own: without either, the connection is not connected.
QDBusConnection DesktopBus();

// True when a StatusNotifierWatcher with a registered host is on `bus`, which is when the toolkit
// shows tray icons as StatusNotifierItems. Waits at most `timeoutMs` for the watcher's answer.
bool StatusNotifierHostOn(const QDBusConnection& bus, int timeoutMs = 500);

} // namespace platform
