// Marks of the account list: a small coloured badge after each checked account's name.
#include "app/AccountMarks.h"

#include "app/InterpretPage.h"

#include <QPainter>

#include <algorithm>

namespace app {
namespace {

constexpr int kPadding = 4;

QColor BadgeColor(AccountMark::Kind kind)
{
    switch (kind) {
    case AccountMark::Kind::NewMail:
        return QColor(0x1f, 0x6f, 0xd1);
    case AccountMark::Kind::NoMail:
        return QColor(0xc8, 0xc8, 0xc8);
    case AccountMark::Kind::LoginFailed:
        return QColor(0xe0, 0x8a, 0x00);
    case AccountMark::Kind::Failed:
        break;
    }
    return QColor(0xc6, 0x28, 0x28);
}

} // namespace

AccountMark MarkOf(int result)
{
    if (result > 0)
        return { AccountMark::Kind::NewMail, result };
    if (result == 0)
        return { AccountMark::Kind::NoMail, 0 };
    if (result == kLoginFailed)
        return { AccountMark::Kind::LoginFailed, 0 };
    return { AccountMark::Kind::Failed, 0 };
}

QString MarkText(const AccountMark& mark)
{
    switch (mark.kind) {
    case AccountMark::Kind::NewMail:
        return QString::number(mark.count);
    case AccountMark::Kind::NoMail:
        return QStringLiteral("0");
    case AccountMark::Kind::LoginFailed:
        return QStringLiteral("login");
    case AccountMark::Kind::Failed:
        break;
    }
    return QStringLiteral("!");
}

void TAccountMarks::Keep(const std::vector<QString>& names)
{
    for (auto it = marks_.begin(); it != marks_.end();) {
        if (std::find(names.begin(), names.end(), it.key()) == names.end())
            it = marks_.erase(it);
        else
            ++it;
    }
}

const AccountMark* TAccountMarks::Find(const QString& name) const
{
    const auto it = marks_.constFind(name);
    return it == marks_.constEnd() ? nullptr : &it.value();
}

void TAccountMarks::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const AccountMark* mark = Find(index.data(Qt::DisplayRole).toString());
    if (!mark) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QString text = MarkText(*mark);
    // A smaller face than the name's, so that the badge leaves the name its room.
    QFont font = option.font;
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(8, font.pixelSize() * 85 / 100));
    else if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, font.pointSizeF() * 0.85));
    const QFontMetrics metrics(font);
    const int height = std::max(metrics.height() - 2, 8);
    const int width = std::max(metrics.horizontalAdvance(text) + 2 * kPadding, height);
    // The name keeps the room left of the badge and is elided there.
    QStyleOptionViewItem name = option;
    name.rect.setRight(option.rect.right() - width - 2 * kPadding);
    QStyledItemDelegate::paint(painter, name, index);

    const QRect badge(option.rect.right() - width - kPadding, option.rect.center().y() - height / 2, width, height);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(BadgeColor(mark->kind));
    painter->drawRoundedRect(badge, height / 2.0, height / 2.0);
    painter->setPen(mark->kind == AccountMark::Kind::NoMail ? QColor(0x40, 0x40, 0x40) : QColor(Qt::white));
    painter->setFont(font);
    painter->drawText(badge, Qt::AlignCenter, text);
    painter->restore();
}

} // namespace app
