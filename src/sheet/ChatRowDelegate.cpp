#include "sheet/ChatRowDelegate.h"

#include "sheet/TextPrefix.h"

#include <QApplication>
#include <QPainter>

namespace tovin {

namespace {

constexpr int titleInset = 4;
// More characters than a row of the sheet can show, however narrow they are.
constexpr qsizetype shownLength = 512;

} // namespace

void ChatRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem row = option;
    initStyleOption(&row, index);
    const QString title = row.text;
    row.text.clear();
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &row, painter, view);

    const QRect area = option.rect.adjusted(titleInset, 0, -titleInset, 0);
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : option.state & QStyle::State_Active   ? QPalette::Active
                                                                               : QPalette::Inactive;
    const QPalette::ColorRole role =
        option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setFont(row.font);
    painter->setPen(option.palette.color(group, role));
    painter->drawText(
        area, int(QStyle::visualAlignment(option.direction, Qt::AlignLeft)) | Qt::AlignVCenter,
        QFontMetrics(row.font).elidedText(title, Qt::ElideRight, area.width()));
    painter->restore();
}

QString ChatRowDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    const QString title = QStyledItemDelegate::displayText(value, locale);
    if (title.size() <= shownLength)
        return title;
    return textPrefix(title, shownLength).toString() + u'…';
}

} // namespace tovin
