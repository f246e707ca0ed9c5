// The mark beside each account's name in the list after a run: what its last check found. The
// list's items keep the names as their texts; the marks live beside them, keyed by name.
#pragma once

#include <QHash>
#include <QString>
#include <QStyledItemDelegate>

#include <vector>

namespace app {

struct AccountMark {
    enum class Kind { NewMail, NoMail, LoginFailed, Failed };
    Kind kind = Kind::NoMail;
    int count = 0;
};

// The mark of a check with this result (CheckAccount's value).
AccountMark MarkOf(int result);

// The short text of a mark: the count, "0", "login" or "!".
QString MarkText(const AccountMark& mark);

// Draws each item as usual, then its account's mark at its right end.
class TAccountMarks : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void Set(const QString& name, const AccountMark& mark) { marks_.insert(name, mark); }
    // Forgets the marks of accounts not in `names` (removed, or not checked by the last run).
    void Keep(const std::vector<QString>& names);
    const AccountMark* Find(const QString& name) const;

    // The badge takes the right end of the item, and the name is elided before it, so that the
    // narrow list needs no horizontal scrolling.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QHash<QString, AccountMark> marks_;
};

} // namespace app
