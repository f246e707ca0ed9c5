// A notification area that records every call and answers as a test tells it to.
#pragma once

#include "platform/desktop/NotifyIcon.h"

#include <QString>

#include <memory>
#include <vector>

namespace testing_support {

class RecordingNotifyArea : public platform::NotifyArea {
public:
    struct Call {
        unsigned message;
        platform::NOTIFYICONDATA data;
        QString tip() const { return platform::TipText(data); }
    };

    std::vector<Call> calls;
    bool succeed = true;
    bool available = true;
    // What is in the area now: the icon and tip last added or changed, and whether it is there.
    bool shown = false;
    platform::HICON shownIcon = 0;
    QString shownTip;
    std::uint32_t callbackTarget = 0;
    std::uint32_t callbackMessage = 0;

    bool Notify(unsigned message, const platform::NOTIFYICONDATA& data) override
    {
        calls.push_back({ message, data });
        if (!succeed)
            return false;
        switch (message) {
        case platform::NIM_ADD:
            if (shown)
                return false;
            shown = true;
            callbackTarget = data.hWnd;
            break;
        case platform::NIM_MODIFY:
            if (!shown)
                return false;
            break;
        case platform::NIM_DELETE:
            if (!shown)
                return false;
            shown = false;
            return true;
        default:
            return false;
        }
        if (data.uFlags & platform::NIF_ICON)
            shownIcon = data.hIcon;
        if (data.uFlags & platform::NIF_TIP)
            shownTip = platform::TipText(data);
        if (data.uFlags & platform::NIF_MESSAGE)
            callbackMessage = data.uCallbackMessage;
        return true;
    }

    bool Available() const override { return available; }

    QMenu* menu = nullptr; // the menu last handed over for the icon
    bool SetMenu(std::uint32_t hWnd, std::uint32_t, QMenu* m) override
    {
        if (!shown || hWnd != callbackTarget)
            return false;
        menu = m;
        return true;
    }

    std::size_t count(unsigned message) const
    {
        std::size_t n = 0;
        for (const auto& c : calls)
            n += c.message == message;
        return n;
    }
};

// Installs a recording notification area for the lifetime of the object.
class ScopedNotifyArea {
public:
    ScopedNotifyArea()
    {
        auto area = std::make_unique<RecordingNotifyArea>();
        area_ = area.get();
        previous_ = platform::SetNotifyArea(std::move(area));
    }
    ~ScopedNotifyArea() { platform::SetNotifyArea(std::move(previous_)); }
    RecordingNotifyArea* operator->() { return area_; }
    RecordingNotifyArea& operator*() { return *area_; }

private:
    RecordingNotifyArea* area_;
    std::unique_ptr<platform::NotifyArea> previous_;
};

} // namespace testing_support
