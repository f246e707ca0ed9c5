#include "tray/Icon.h"

#include "platform/core/Exceptions.h"

#include <QImage>
#include <QImageReader>
#include <QPixmap>

namespace tray {

TIcon& TIcon::operator=(const TIcon& other)
{
    if (this != &other) {
        releaseHandle();
        icon_ = other.icon_;
    }
    return *this;
}

TIcon::~TIcon()
{
    releaseHandle();
}

platform::HICON TIcon::Handle() const
{
    if (!handle_ && !icon_.isNull())
        handle_ = platform::CreateIconHandle(icon_);
    return handle_;
}

void TIcon::LoadFromFile(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw platform::Exception(
            "Cannot load the picture " + path.toStdString() + ": " + reader.errorString().toStdString());
    releaseHandle();
    icon_ = QIcon(QPixmap::fromImage(image));
}

void TIcon::Clear()
{
    releaseHandle();
    icon_ = QIcon();
}

void TIcon::releaseHandle() const
{
    if (handle_)
        platform::DestroyIconHandle(handle_);
    handle_ = 0;
}

} // namespace tray
