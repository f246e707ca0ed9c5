// An icon picture: empty or holding an image, with the platform handle that shows it.
#pragma once

#include "platform/desktop/NotifyIcon.h"

#include <QIcon>
#include <QString>

namespace tray {

class TIcon {
public:
    TIcon() = default;
    explicit TIcon(const QIcon& icon)
        : icon_(icon)
    { }
    TIcon(const TIcon& other)
        : icon_(other.icon_)
    { }
    TIcon& operator=(const TIcon& other);
    ~TIcon();

    bool Empty() const { return icon_.isNull(); }
    // The handle is made on first use and lives as long as this picture keeps its image.
    platform::HICON Handle() const;

    // Reads an icon file; raises platform::Exception when it is missing or not a picture, and
    // then keeps the image it had.
    void LoadFromFile(const QString& path);
    void Assign(const TIcon& other) { *this = other; }
    void Clear();

    const QIcon& icon() const { return icon_; }

private:
    void releaseHandle() const;

    QIcon icon_;
    mutable platform::HICON handle_ = 0;
};

} // namespace tray
