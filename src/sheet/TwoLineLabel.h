#pragma once

#include <QLabel>
#include <QString>

namespace tovin {

// A plain-text label that shows no more than two lines of its text, wrapped at word boundaries
// where it can be, the second line ending in "…" when more is cut. It is as tall as the lines it
// shows, one at least. Screen readers are given the whole text.
class TwoLineLabel final : public QLabel {
    Q_OBJECT

public:
    explicit TwoLineLabel(QWidget* parent = nullptr);

    // Shows as much of `text` as two lines of the label's width hold.
    void setWholeText(const QString& text);
    const QString& wholeText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();

    QString wholeText_;
};

} // namespace tovin
