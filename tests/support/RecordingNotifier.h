// A desktop notifier that keeps the notices it is given, installed for the life of the object,
// so that window tests never reach the desktop of whoever runs them.
#pragma once

#include "platform/desktop/DesktopNotifier.h"

#include <memory>
#include <vector>

namespace testing_support {

class RecordingNotifier : public platform::DesktopNotifier {
public:
    std::vector<platform::DesktopNotice> notices;
    void Show(const platform::DesktopNotice& notice) override { notices.push_back(notice); }
};

class ScopedNotifier {
public:
    ScopedNotifier()
    {
        auto notifier = std::make_unique<RecordingNotifier>();
        notifier_ = notifier.get();
        previous_ = platform::SetNotifier(std::move(notifier));
    }
    ~ScopedNotifier() { platform::SetNotifier(std::move(previous_)); }
    ScopedNotifier(const ScopedNotifier&) = delete;
    ScopedNotifier& operator=(const ScopedNotifier&) = delete;

    RecordingNotifier* operator->() { return notifier_; }

private:
    RecordingNotifier* notifier_;
    std::unique_ptr<platform::DesktopNotifier> previous_;
};

} // namespace testing_support
