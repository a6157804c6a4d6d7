#include "sheet/TwoLineLabel.h"

#include "sheet/TextPrefix.h"

#include <QEvent>
#include <QStringList>
#include <QTextLayout>
#include <algorithm>

namespace tovin {

namespace {

constexpr int shownLines = 2;

// The lines of `text` at `width`, the last of them cut with "…" when they do not hold it all.
// Only a prefix is laid out: no line holds more characters than it is pixels wide, and the widths
// of a text of millions of characters would not even add up right.
QStringList clippedLines(const QString& text, const QFont& font, int width) {
    const QStringView laidOut = textPrefix(text, qsizetype{shownLines} * width);
    const bool cut = laidOut.size() < text.size();
    QString flowing = laidOut.toString();
    flowing.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    std::vector<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && starts.size() <= shownLines;
         line = layout.createLine()) {
        line.setLineWidth(width);
        starts.push_back(line.textStart());
        lines.append(flowing.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    if (lines.size() > shownLines || cut) {
        lines.resize(std::min(lines.size(), qsizetype{shownLines}));
        QString rest = flowing.mid(starts[lines.size() - 1]);
        rest.replace(QChar::LineSeparator, u' ');
        // What was not laid out is there all the same.
        rest = rest.simplified() + (cut ? QStringLiteral("…") : QString());
        lines.back() = QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
    }
    return lines;
}

} // namespace

TwoLineLabel::TwoLineLabel(QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TwoLineLabel::setWholeText(const QString& text) {
    wholeText_ = text;
    setAccessibleName(text);
    fit();
}

const QString& TwoLineLabel::wholeText() const {
    return wholeText_;
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
    const QString shown = clippedLines(wholeText_, font(), width).join(u'\n');
    if (shown != text()) {
        setText(shown);
        updateGeometry();
    }
}

} // namespace tovin
