// The count badge on the tray picture: its text, where it lies, and what it leaves alone.
#include "app/icons/CountBadge.h"

#include "app/icons/Painting.h"

#include <gtest/gtest.h>

#include <climits>

using pictures::BadgeRect;
using pictures::BadgeText;
using pictures::WithCountBadge;

TEST(CountBadge, TextGoesUpTo99ThenSays99Plus)
{
    const struct {
        int total;
        const char* text;
    } rows[] = { { -1, "" }, { 0, "" }, { 1, "1" }, { 9, "9" }, { 10, "10" }, { 99, "99" }, { 100, "99+" },
        { INT_MAX, "99+" } };
    for (const auto& row : rows)
        EXPECT_EQ(BadgeText(row.total).toStdString(), row.text) << row.total;
}

TEST(CountBadge, TheWidestBadgeFitsEverySizeAndThePictureOutsideItIsUntouched)
{
    const QImage face = pictures::PaintHappyFace(32);
    for (int size : pictures::kBadgeSizes) {
        const QRect badge = BadgeRect(size, "99+");
        EXPECT_TRUE(QRect(0, 0, size, size).contains(badge)) << size;
        // Legible: digits at least 5 pixels high.
        EXPECT_GE(badge.height() - 4, 5) << size;
        const QImage plain = WithCountBadge(face, size, 0);
        const QImage badged = WithCountBadge(face, size, 120);
        ASSERT_EQ(badged.size(), QSize(size, size));
        int changedInside = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const bool differs = plain.pixel(x, y) != badged.pixel(x, y);
                if (!badge.contains(x, y)) {
                    ASSERT_FALSE(differs) << size << ": " << x << "," << y;
                }
                changedInside += differs;
            }
        }
        EXPECT_GT(changedInside, badge.width() * badge.height() / 2) << size;
        // The corners of the badge let the picture show through.
        EXPECT_EQ(badged.pixel(badge.bottomRight()), plain.pixel(badge.bottomRight())) << size;
    }
}

TEST(CountBadge, EveryCountUpTo99LooksDifferentAndLargerCountsLookTheSame)
{
    const QImage face = pictures::PaintHappyFace(32);
    for (int size : { 16, 32 }) {
        std::vector<QImage> seen;
        for (int total = 1; total <= 100; ++total) {
            const QImage image = WithCountBadge(face, size, total);
            for (std::size_t i = 0; i < seen.size(); ++i)
                ASSERT_NE(image, seen[i]) << size << " px: " << total << " looks like " << i + 1;
            seen.push_back(image);
        }
        EXPECT_EQ(WithCountBadge(face, size, 100), WithCountBadge(face, size, 5000)) << size;
    }
}

TEST(CountBadge, TheBadgedIconHasEverySizeAndAnEmptyIconStaysEmpty)
{
    const QIcon badged = pictures::BadgedIcon(QIcon(QPixmap::fromImage(pictures::PaintHappyFace(32))), 7);
    for (int size : pictures::kBadgeSizes)
        EXPECT_TRUE(badged.availableSizes().contains(QSize(size, size))) << size;
    EXPECT_TRUE(pictures::BadgedIcon(QIcon(), 7).isNull());
}
