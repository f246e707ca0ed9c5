// The count of new messages drawn on a tray picture: a small badge in its bottom-right corner.
#pragma once

#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>

namespace pictures {

// The sizes the tray picture is drawn at with its badge; hosts pick the one they show.
inline constexpr int kBadgeSizes[] = { 16, 22, 24, 32 };

// "1" to "99", then "99+"; empty for 0 or less.
QString BadgeText(int total);

// Where the badge of `text` lies on a picture of `size` pixels.
QRect BadgeRect(int size, const QString& text);

// `picture` scaled to `size` pixels with the badge of `total` drawn on it. Digits are drawn from
// pixel glyphs, not from a font, so they stay sharp at 16 pixels and look the same everywhere.
QImage WithCountBadge(const QImage& picture, int size, int total);

// `icon` at every badge size, each with the badge; an empty icon stays empty.
QIcon BadgedIcon(const QIcon& icon, int total);

} // namespace pictures
