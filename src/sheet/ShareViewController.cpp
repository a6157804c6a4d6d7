#include "sheet/ShareViewController.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

namespace tovin {

namespace {

using Phase = ShareFlow::Phase;

constexpr int sheetWidth = 460;
constexpr int sheetHeight = 520;
constexpr int margin = 12;
constexpr int titleGap = 4;
constexpr int gap = 8;
constexpr int minimumColumnWidth = 280;
constexpr int progressWidth = 150;
constexpr int progressSteps = 1000;
// A write shorter than this shows no progress bar, which would only flicker.
constexpr int progressDelay = 330;
// A contrast of text against its background that reads well, above the least of 4.5:1 by as
// much as the antialiased strokes of small text fall short of their colour.
constexpr double readableContrast = 5;

// Sizes are in logical pixels, the unit of the whole sheet, so that it keeps its proportions at
// every scale.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// A red that keeps a contrast above 4.5:1 against the window: darker on a light window, lighter
// on a dark one.
QColor readableRed(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() >= 128 ? QColor(0xC0, 0x1C, 0x28)
                                                              : QColor(0xFF, 0x7B, 0x63);
}

double luminance(const QColor& colour) {
    const auto linear = [](float channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrast(const QColor& one, const QColor& other) {
    const auto [darker, lighter] = std::minmax({luminance(one), luminance(other)});
    return (lighter + 0.05) / (darker + 0.05);
}

// `weight` of `colour` over the rest of `base`.
QColor mixed(const QColor& colour, const QColor& base, double weight) {
    const auto channel = [weight](float top, float bottom) {
        return static_cast<float>(weight * top + (1 - weight) * bottom);
    };
    return QColor::fromRgbF(channel(colour.redF(), base.redF()),
                            channel(colour.greenF(), base.greenF()),
                            channel(colour.blueF(), base.blueF()));
}

// The palette's secondary grey on `background`, taken towards the palette's text colour as far as
// it must be to read well: some themes make it too faint.
QColor readableGrey(const QPalette& palette, QPalette::ColorRole background,
                    QPalette::ColorRole text) {
    const QColor ground = palette.color(background);
    const QColor placeholder = palette.color(QPalette::PlaceholderText);
    const QColor grey = mixed(placeholder, ground, placeholder.alphaF());
    constexpr int steps = 20;
    for (int step = 0; step < steps; ++step) {
        const QColor candidate =
            mixed(palette.color(text), grey, static_cast<double>(step) / steps);
        if (contrast(candidate, ground) >= readableContrast)
            return candidate;
    }
    return palette.color(text);
}

void setTextColour(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(widget.foregroundRole(), colour);
    widget.setPalette(palette);
}

// A fixed field keeps its text and its focus, and looks fixed: it takes the window's colour.
void showFixed(QLineEdit& field, bool fixed, const QPalette& sheet) {
    field.setReadOnly(fixed);
    QPalette palette;
    if (fixed)
        palette.setColor(QPalette::Base, sheet.color(QPalette::Window));
    field.setPalette(palette);
}

// Screen readers are told that the sheet is a dialog, not a mere part of a window.
QAccessibleInterface* dialogInterface(const QString&, QObject* object) {
    auto* sheet = qobject_cast<ShareViewController*>(object);
    return sheet != nullptr ? new QAccessibleWidget(sheet, QAccessible::Dialog) : nullptr;
}

} // namespace

ShareViewController::ShareViewController(SheetServices services, QWidget* parent)
    : QWidget(parent)
    // The chat list is read while the window is built.
    , model_(services.environment, services.fileManager, ShareSheetModel::Reading::ahead)
    , flow_(model_, std::move(services))
    , cancelButton_(tr("Cancel"))
    , sendButton_(tr("Send"))
    , errorLabel_(TwoLineLabel::Role::alert) {
    QAccessible::installFactory(dialogInterface);
    loadView();
    model_.loadChats();
    showChatsPlaceholder();
}

void ShareViewController::loadView() {
    // The names by which tests and style sheets find the controls.
    const std::pair<QWidget*, const char*> names[] = {
        {&searchField_, "searchField"},   {&tableView_, "tableView"},
        {&captionField_, "captionField"}, {&summaryLabel_, "summaryLabel"},
        {&cancelButton_, "cancelButton"}, {&sendButton_, "sendButton"},
        {&errorLabel_, "errorLabel"},     {&progressBar_, "progressBar"}};
    for (const auto& [control, name] : names)
        control->setObjectName(QString::fromLatin1(name));
    setWindowTitle(tr("Share with tovin"));
    setFixedSize(sheetWidth, sheetHeight);

    auto* title = new QLabel(tr("Share with tovin"));
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setTextFormat(Qt::PlainText);
    title->setFont(systemFont(14, QFont::DemiBold));
    summaryLabel_.setFont(systemFont(11));
    searchField_.setPlaceholderText(tr("Search chats…"));
    searchField_.setAccessibleName(tr("Search chats"));
    searchField_.installEventFilter(this);

    tableView_.setModel(&model_);
    tableView_.setItemDelegate(&rowDelegate_);
    tableView_.setAccessibleName(tr("Chats"));
    tableView_.setAlternatingRowColors(true);
    tableView_.setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_.setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_.setTabKeyNavigation(false);
    tableView_.setShowGrid(false);
    tableView_.setWordWrap(false);
    tableView_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    tableView_.verticalHeader()->hide();
    tableView_.horizontalHeader()->setMinimumSectionSize(minimumColumnWidth);
    tableView_.horizontalHeader()->setStretchLastSection(true);
    tableView_.horizontalHeader()->setHighlightSections(false);
    chatsPlaceholder_.setObjectName(QStringLiteral("chatsPlaceholder"));
    chatsPlaceholder_.setText(tr("tovin has not shared its chats yet."));
    chatsPlaceholder_.setTextFormat(Qt::PlainText);
    chatsPlaceholder_.setWordWrap(true);
    chatsPlaceholder_.setAlignment(Qt::AlignCenter);
    chatsPlaceholder_.hide();
    auto* placeholderLayout = new QVBoxLayout(tableView_.viewport());
    placeholderLayout->setContentsMargins(margin, margin, margin, margin);
    placeholderLayout->addWidget(&chatsPlaceholder_);

    captionField_.setPlaceholderText(tr("Add a caption…"));
    captionField_.setAccessibleName(tr("Add a caption"));
    errorLabel_.setFont(systemFont(11));
    // Return on a focused Cancel presses Cancel; anywhere else it presses Send.
    cancelButton_.setAutoDefault(true);
    sendButton_.setDefault(true);
    sendButton_.setEnabled(false);
    applyColours();

    auto* sheet = new QVBoxLayout(this);
    sheet->setContentsMargins(margin, margin, margin, margin);
    sheet->setSpacing(0);
    sheet->addWidget(title, 0, Qt::AlignLeft | Qt::AlignTop);
    sheet->addSpacing(titleGap);
    sheet->addWidget(&summaryLabel_);
    sheet->addSpacing(gap);
    sheet->addWidget(&searchField_);
    sheet->addSpacing(gap);
    sheet->addWidget(&tableView_, 1);
    sheet->addSpacing(gap);
    sheet->addWidget(&captionField_);
    sheet->addSpacing(gap);
    sheet->addWidget(buttonRow());

    setTabOrder(&searchField_, &tableView_);
    setTabOrder(&tableView_, &captionField_);
    setTabOrder(&captionField_, &cancelButton_);
    setTabOrder(&cancelButton_, &sendButton_);
    searchField_.setFocus();
    connectControls();
}

// The error text, an empty spacer, then Cancel and Send, 8 apart and centred on the row; the
// progress bar stands before the buttons while it shows.
QWidget* ShareViewController::buttonRow() {
    progressBar_.setFixedWidth(progressWidth);
    progressBar_.setAccessibleName(tr("Sending"));
    progressBar_.hide();
    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(progressDelay);

    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("buttonRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(gap);
    layout->addWidget(&errorLabel_, 1, Qt::AlignVCenter);
    layout->addWidget(new QWidget, 0, Qt::AlignVCenter);
    layout->addWidget(&progressBar_, 0, Qt::AlignVCenter);
    layout->addWidget(&cancelButton_, 0, Qt::AlignVCenter);
    layout->addWidget(&sendButton_, 0, Qt::AlignVCenter);
    return row;
}

void ShareViewController::connectControls() {
    connect(&searchField_, &QLineEdit::textChanged, this, &ShareViewController::searchChanged);
    connect(tableView_.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ShareViewController::tableViewSelectionDidChange);
    connect(&tableView_, &QAbstractItemView::doubleClicked, this,
            &ShareViewController::rowDoubleClicked);
    connect(&cancelButton_, &QPushButton::clicked, this, &ShareViewController::cancelClicked);
    connect(&sendButton_, &QPushButton::clicked, this, &ShareViewController::sendClicked);
    // Escape presses Cancel, which does nothing while it is disabled; Return is a key press of
    // the sheet's own, so that a focused button takes it first.
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, &cancelButton_,
            &QPushButton::click);

    connect(&model_, &ShareSheetModel::summaryChanged, &summaryLabel_, &TwoLineLabel::setWholeText);
    connect(&model_, &ShareSheetModel::errorLineChanged, &errorLabel_, &TwoLineLabel::setWholeText);
    connect(&model_, &ShareSheetModel::sendEnabledChanged, this, [this](bool enabled) {
        if (flow_.phase() == Phase::open)
            sendButton_.setEnabled(enabled);
    });
    connect(&flow_, &ShareFlow::phaseChanged, this, &ShareViewController::showPhase);
    connect(&flow_, &ShareFlow::progressChanged, this, &ShareViewController::showProgress);
    connect(&progressDelay_, &QTimer::timeout, &progressBar_, &QWidget::show);
}

void ShareViewController::applyColours() {
    setTextColour(summaryLabel_, readableGrey(palette(), QPalette::Window, QPalette::WindowText));
    setTextColour(errorLabel_, readableRed(palette()));
    setTextColour(chatsPlaceholder_, readableGrey(palette(), QPalette::Base, QPalette::Text));
}

// The table says so when tovin has written no chats: a missing list is no error, but without
// a word the sheet would look broken.
void ShareViewController::showChatsPlaceholder() {
    const bool none = model_.allChats().empty();
    chatsPlaceholder_.setVisible(none);
    tableView_.setAccessibleDescription(none ? chatsPlaceholder_.text() : QString());
}

void ShareViewController::closeEvent(QCloseEvent* event) {
    if (flow_.phase() == Phase::writing) {
        event->ignore();
        return;
    }
    cancelClicked();
    event->accept();
}

void ShareViewController::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

// Return and Enter reach here when the focused control leaves them: the fields and the table do.
void ShareViewController::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        sendButton_.click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShareViewController::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // The intake starts, and the titles are prepared for searching, once the first frame is out:
    // the frame shows the chats without waiting for either, and a Send waits for the intake.
    if (!firstFramePainted_) {
        QTimer::singleShot(0, &flow_, &ShareFlow::startIntake);
        QTimer::singleShot(0, &model_, &ShareSheetModel::prepareSearch);
    }
    firstFramePainted_ = true;
}

// Up and Down in the search field move the table's selection, so that search, arrows and Return
// choose a chat without the mouse.
bool ShareViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &searchField_ && event->type() == QEvent::KeyPress &&
        flow_.phase() == Phase::open) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
            moveSelection(key->key() == Qt::Key_Down ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ShareViewController::searchChanged() {
    // The clear button comes with the first search text: looking up its icon would delay the
    // sheet's first frame.
    searchField_.setClearButtonEnabled(true);
    model_.applyFilter(searchField_.text());
}

void ShareViewController::tableViewSelectionDidChange() {
    const QModelIndexList rows = tableView_.selectionModel()->selectedRows();
    model_.selectionChanged(rows.isEmpty() ? std::nullopt : std::optional(rows.first().row()));
}

void ShareViewController::rowDoubleClicked() {
    flow_.send(captionField_.text());
}

void ShareViewController::cancelClicked() {
    flow_.cancel();
}

void ShareViewController::sendClicked() {
    flow_.send(captionField_.text());
}

// Down with no row selected picks the first; the selection stops at either end.
void ShareViewController::moveSelection(int rows) {
    const int count = model_.rowCount();
    const QModelIndexList selected = tableView_.selectionModel()->selectedRows();
    if (count == 0 || (selected.isEmpty() && rows < 0))
        return;
    const int row =
        selected.isEmpty() ? 0 : std::clamp(selected.first().row() + rows, 0, count - 1);
    const QModelIndex index = model_.index(row, 0);
    tableView_.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    tableView_.scrollTo(index);
}

void ShareViewController::showPhase(Phase phase) {
    if (phase == Phase::cancelled)
        return;
    progressDelay_.stop();
    progressBar_.hide();
    progressBar_.setRange(0, 0);
    // What the sheet shows is what is sent: from Send on, the choices stay as they were.
    const bool open = phase == Phase::open;
    showFixed(searchField_, !open, palette());
    showFixed(captionField_, !open, palette());
    tableView_.setEnabled(open);
    sendButton_.setEnabled(open && model_.sendEnabled());
    cancelButton_.setEnabled(open || phase == Phase::waiting);
    if (phase == Phase::waiting)
        progressBar_.show();
    if (phase == Phase::writing)
        progressDelay_.start();
}

void ShareViewController::showProgress(std::uintmax_t bytesDone, std::uintmax_t bytesTotal) {
    if (bytesTotal == 0)
        return;
    const std::uintmax_t done = std::min(bytesDone, bytesTotal);
    const QLocale locale;
    progressBar_.setRange(0, progressSteps);
    progressBar_.setValue(static_cast<int>(progressSteps * static_cast<double>(done) /
                                           static_cast<double>(bytesTotal)));
    //: Bytes written of all to write: 1.5 MB of 20 MB
    progressBar_.setFormat(tr("%1 of %2")
                               .arg(locale.formattedDataSize(static_cast<qint64>(done)),
                                    locale.formattedDataSize(static_cast<qint64>(bytesTotal))));
}

} // namespace tovin
