#pragma once

#include "sheet/ChatRowDelegate.h"
#include "sheet/ShareFlow.h"
#include "sheet/ShareSheetModel.h"
#include "sheet/SheetServices.h"
#include "sheet/TwoLineLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWidget>

namespace tovin {

// The share sheet: the top-level window "Share with tovin", a fixed 460 × 520, not resizable.
// Construct it, show it and run the event loop: it shows the chat list at once, starts the
// intake once its first frame is out, and ends the request through its complete() or
// cancel(error). Closing the window is Cancel, and is refused while a share is being written, as
// is Escape. Return sends, unless the focus is on Cancel. From Send on, the chat, the search and
// the caption stay as they were sent, until a write fails. Screen readers see a dialog, and hear
// a failure as an alert.
class ShareViewController final : public QWidget {
    Q_OBJECT

public:
    // Every service but the request must be present.
    explicit ShareViewController(SheetServices services, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadView();
    QWidget* buttonRow();
    void connectControls();
    void applyColours();
    void showChatsPlaceholder();

    void searchChanged();
    void tableViewSelectionDidChange();
    void rowDoubleClicked();
    void cancelClicked();
    void sendClicked();
    void moveSelection(int rows);
    void showPhase(ShareFlow::Phase phase);
    void showProgress(std::uintmax_t bytesDone, std::uintmax_t bytesTotal);

    ShareSheetModel model_;
    ShareFlow flow_;
    ChatRowDelegate rowDelegate_;
    QLineEdit searchField_;
    QTableView tableView_;
    QLabel chatsPlaceholder_;
    QLineEdit captionField_;
    TwoLineLabel summaryLabel_;
    QPushButton cancelButton_;
    QPushButton sendButton_;
    TwoLineLabel errorLabel_;
    QProgressBar progressBar_;
    QTimer progressDelay_;
    bool firstFramePainted_ = false;
};

} // namespace tovin
