// The task-bar entry of a top-level window: hidden or shown through the window manager.
#pragma once

class QWidget;

namespace platform {

// Asks the window manager to leave `window` out of the task bar (or to put it back). On X11 this
// is the _NET_WM_STATE_SKIP_TASKBAR state; elsewhere only the wish is recorded.
void SetSkipTaskBar(QWidget* window, bool skip);

// What was last asked for `window`.
bool SkipsTaskBar(const QWidget* window);

} // namespace platform
