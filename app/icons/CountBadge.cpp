// Pixel glyphs: 3 by 5 for the 16-pixel picture, 5 by 7 from 22 pixels on; white on red, with a
// white ring that keeps the badge apart from whatever the picture has in that corner.
#include "app/icons/CountBadge.h"

#include <QPixmap>

#include <array>

namespace pictures {
namespace {

struct Font {
    int width;
    int height;
    // Rows of each glyph, top first, the leftmost pixel in the highest bit used; "0".."9", "+".
    std::array<std::array<unsigned char, 7>, 11> rows;
};

constexpr Font kSmall { 3, 5,
    { { { 7, 5, 5, 5, 7 }, { 2, 6, 2, 2, 7 }, { 7, 1, 7, 4, 7 }, { 7, 1, 3, 1, 7 }, { 5, 5, 7, 1, 1 },
        { 7, 4, 7, 1, 7 }, { 7, 4, 7, 5, 7 }, { 7, 1, 1, 2, 2 }, { 7, 5, 7, 5, 7 }, { 7, 5, 7, 1, 7 },
        { 0, 2, 7, 2, 0 } } } };

constexpr Font kLarge { 5, 7,
    { { { 0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E }, { 0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E },
        { 0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F }, { 0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E },
        { 0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02 }, { 0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E },
        { 0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E }, { 0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08 },
        { 0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E }, { 0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C },
        { 0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00 } } } };

constexpr QRgb kRing = qRgb(255, 255, 255);
constexpr QRgb kBackground = qRgb(208, 0, 0);
constexpr QRgb kDigit = qRgb(255, 255, 255);

const Font& FontFor(int size)
{
    return size < 22 ? kSmall : kLarge;
}

int GlyphIndex(QChar c)
{
    return c == '+' ? 10 : c.digitValue();
}

} // namespace

QString BadgeText(int total)
{
    if (total <= 0)
        return {};
    return total > 99 ? QStringLiteral("99+") : QString::number(total);
}

QRect BadgeRect(int size, const QString& text)
{
    const Font& font = FontFor(size);
    const int count = static_cast<int>(text.size());
    // The glyphs with one pixel between them, one pixel of red around, one of the ring.
    const int width = count * font.width + (count - 1) + 4;
    const int height = font.height + 4;
    return QRect(size - width, size - height, width, height);
}

QImage WithCountBadge(const QImage& picture, int size, int total)
{
    QImage image = picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32);
    const QString text = BadgeText(total);
    if (text.isEmpty() || image.isNull())
        return image;
    const Font& font = FontFor(size);
    const QRect badge = BadgeRect(size, text).intersected(image.rect());
    for (int y = badge.top(); y <= badge.bottom(); ++y) {
        for (int x = badge.left(); x <= badge.right(); ++x) {
            const bool edgeX = x == badge.left() || x == badge.right();
            const bool edgeY = y == badge.top() || y == badge.bottom();
            if (edgeX && edgeY)
                continue; // rounded corners: the picture shows through
            image.setPixel(x, y, edgeX || edgeY ? kRing : kBackground);
        }
    }
    int left = badge.left() + 2;
    const int top = badge.top() + 2;
    for (const QChar c : text) {
        const int glyph = GlyphIndex(c);
        for (int row = 0; row < font.height; ++row)
            for (int column = 0; column < font.width; ++column)
                if (font.rows[glyph][row] & (1 << (font.width - 1 - column)))
                    image.setPixel(left + column, top + row, kDigit);
        left += font.width + 1;
    }
    return image;
}

QIcon BadgedIcon(const QIcon& icon, int total)
{
    if (icon.isNull())
        return icon;
    QSize largest(32, 32);
    for (const QSize& size : icon.availableSizes())
        if (size.width() * size.height() > largest.width() * largest.height())
            largest = size;
    const QImage source = icon.pixmap(largest, 1.0).toImage();
    QIcon badged;
    for (int size : kBadgeSizes)
        badged.addPixmap(QPixmap::fromImage(WithCountBadge(source, size, total)));
    return badged;
}

} // namespace pictures
