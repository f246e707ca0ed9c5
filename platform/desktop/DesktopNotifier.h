// Desktop notifications: one notice of the program's at a time, each new one taking the place
// of the one before. Where the desktop has none, notices go nowhere.
#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

struct DesktopNotice {
    QString appName;
    QString summary;
    QString body; // plain text; each line a paragraph
    QString iconName; // the program's icon in the desktop's theme
    QIcon icon; // its picture, for desktops that do not have the theme icon
    QString desktopEntry; // the program's desktop entry, without ".desktop"
    std::function<void()> onDefaultAction; // the user clicked the notice
};

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Never waits for the desktop and never raises.
    virtual void Show(const DesktopNotice& notice) = 0;
};

// The notifier of the desktop's session bus, made on first use; one that does nothing when there
// is no session bus.
DesktopNotifier& Notifier();

// Installs `notifier` (nullptr: the desktop's, made anew on next use) and returns the one it replaces.
std::unique_ptr<DesktopNotifier> SetNotifier(std::unique_ptr<DesktopNotifier> notifier);

} // namespace platform
