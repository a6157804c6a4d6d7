#pragma once

#include <QStyledItemDelegate>

namespace tovin {

// Draws one chat of the table: the row's usual background, then its title on one line in the
// table's font, 4 points in from either side, centred vertically, from the side where the title
// begins (the right for a right-to-left title), and cut with "…" when too long; the tooltip of a
// cut title shows it whole. No widget is made for a row.
class ChatRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The title as a row holds it: its line breaks as spaces, whole, or its start followed by "…"
    // when it is longer than any row can show. A title of millions of characters costs no more
    // than a short one.
    QString displayText(const QVariant& value, const QLocale& locale) const override;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

} // namespace tovin
