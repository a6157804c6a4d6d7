#include "sheet/TwoLineLabel.h"

#include "sheet/TextPrefix.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QStringList>
#include <QTextLayout>
#include <QToolTip>
#include <algorithm>

namespace tovin {

namespace {

constexpr int shownLines = 2;
constexpr int tipWidth = 420;
constexpr int tipLines = 12;

struct Clipped {
    QStringList lines;
    bool cut = false;
};

// The lines of `text` at `width`, no more than `count`, the last of them cut with "…" when they do
// not hold it all. Only a prefix is laid out: no line holds more characters than it is pixels
// wide, and the widths of a text of millions of characters would not even add up right.
Clipped clippedLines(const QString& text, const QFont& font, int width, int count) {
    const QStringView laidOut = textPrefix(text, qsizetype{count} * width);
    const bool cut = laidOut.size() < text.size();
    QString flowing = laidOut.toString();
    flowing.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    Clipped clipped;
    std::vector<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine();
         line.isValid() && starts.size() <= static_cast<std::size_t>(count);
         line = layout.createLine()) {
        line.setLineWidth(width);
        starts.push_back(line.textStart());
        clipped.lines.append(flowing.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    QStringList& lines = clipped.lines;
    clipped.cut = lines.size() > count || cut;
    if (clipped.cut) {
        lines.resize(std::min(lines.size(), qsizetype{count}));
        QString rest = flowing.mid(starts[lines.size() - 1]);
        rest.replace(QChar::LineSeparator, u' ');
        // What was not laid out is there all the same.
        rest = rest.simplified() + (cut ? QStringLiteral("…") : QString());
        lines.back() = QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
    }
    return clipped;
}

// Screen readers announce a label of this role when it shows.
QAccessibleInterface* alertInterface(const QString&, QObject* object) {
    auto* label = qobject_cast<TwoLineLabel*>(object);
    if (label == nullptr || label->role() != TwoLineLabel::Role::alert)
        return nullptr;
    return new QAccessibleWidget(label, QAccessible::AlertMessage);
}

} // namespace

TwoLineLabel::TwoLineLabel(Role role, QWidget* parent)
    : QLabel(parent)
    , role_(role) {
    setTextFormat(Qt::PlainText);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    if (role_ == Role::alert) {
        QAccessible::installFactory(alertInterface);
        policy.setRetainSizeWhenHidden(true);
        hide();
    }
    setSizePolicy(policy);
}

void TwoLineLabel::setWholeText(const QString& text) {
    wholeText_ = text;
    setAccessibleName(text);
    fit();
    if (role_ == Role::alert) {
        // Showing anew is what makes screen readers announce an alert, each time.
        hide();
        setVisible(!text.isEmpty());
    }
}

const QString& TwoLineLabel::wholeText() const {
    return wholeText_;
}

TwoLineLabel::Role TwoLineLabel::role() const {
    return role_;
}

QSize TwoLineLabel::sizeHint() const {
    const QSize shown = QLabel::sizeHint();
    const int oneLine =
        fontMetrics().height() + contentsMargins().top() + contentsMargins().bottom();
    return {shown.width(), std::max(shown.height(), oneLine)};
}

QSize TwoLineLabel::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void TwoLineLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void TwoLineLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void TwoLineLabel::fit() {
    const int width = std::max(contentsRect().width(), 1);
    const Clipped shown = clippedLines(wholeText_, font(), width, shownLines);
    const QString joined = shown.lines.join(u'\n');
    if (joined != text()) {
        setText(joined);
        updateGeometry();
    }
    const QString tip = shown.cut ? wholeTextTip(wholeText_) : QString();
    if (tip != toolTip())
        setToolTip(tip);
}

QString wholeTextTip(const QString& text) {
    return clippedLines(text, QToolTip::font(), tipWidth, tipLines).lines.join(u'\n');
}

} // namespace tovin
