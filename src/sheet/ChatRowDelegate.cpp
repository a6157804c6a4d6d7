#include "sheet/ChatRowDelegate.h"

#include "sheet/TextPrefix.h"
#include "sheet/Trimmed.h"
#include "sheet/TwoLineLabel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace tovin {

namespace {

constexpr int titleInset = 4;
// More characters than a row of the sheet can show, however narrow they are.
constexpr qsizetype shownLength = 512;

QRect titleArea(const QStyleOptionViewItem& option) {
    return option.rect.adjusted(titleInset, 0, -titleInset, 0);
}

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

    const QRect area = titleArea(option);
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : option.state & QStyle::State_Active   ? QPalette::Active
                                                                               : QPalette::Inactive;
    const QPalette::ColorRole role =
        option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    // A title runs in its own direction, whatever the sheet's, and is cut at its end.
    const Qt::LayoutDirection direction = title.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    painter->save();
    painter->setFont(row.font);
    painter->setPen(option.palette.color(group, role));
    painter->setLayoutDirection(direction);
    painter->drawText(area,
                      int(QStyle::visualAlignment(direction, Qt::AlignLeft)) | Qt::AlignVCenter,
                      QFontMetrics(row.font).elidedText(title, Qt::ElideRight, area.width()));
    painter->restore();
}

QString ChatRowDelegate::displayText(const QVariant& value, const QLocale&) const {
    QString title = value.toString();
    if (title.size() > shownLength)
        title = textPrefix(title, shownLength).toString() + u'…';
    title.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    std::replace_if(title.begin(), title.end(), isLineBreak, u' ');
    return title;
}

bool ChatRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem row = option;
    initStyleOption(&row, index);
    if (QFontMetrics(row.font).horizontalAdvance(row.text) > titleArea(option).width())
        QToolTip::showText(event->globalPos(), wholeTextTip(row.text), view, option.rect);
    else
        QToolTip::hideText();
    return true;
}

} // namespace tovin
