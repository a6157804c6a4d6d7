#pragma once

#include <QLabel>
#include <QString>

namespace tovin {

// A plain-text label that shows no more than two lines of its text, wrapped at word boundaries
// where it can be, the second line ending in "…" when more is cut. It is as tall as the lines it
// shows, one at least. Screen readers are given the whole text; when the text is cut, its
// tooltip shows it too.
class TwoLineLabel final : public QLabel {
    Q_OBJECT

public:
    // How a new text reaches screen readers: read when they come to the label, or announced at
    // once as an alert. An alert label is hidden while it has no text, keeping its place.
    enum class Role { label, alert };

    explicit TwoLineLabel(Role role = Role::label, QWidget* parent = nullptr);

    // Shows as much of `text` as two lines of the label's width hold. An alert label announces
    // every text that is not empty, the same text again included.
    void setWholeText(const QString& text);
    const QString& wholeText() const;
    Role role() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();

    Role role_;
    QString wholeText_;
};

// `text` as a tooltip shows a text that a control cuts: wrapped to a readable width, and cut
// with "…" after as many lines as a tooltip should hold, so that no text is too long for it.
QString wholeTextTip(const QString& text);

} // namespace tovin
