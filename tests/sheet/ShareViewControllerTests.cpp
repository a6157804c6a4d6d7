#include "SheetTestSupport.h"
#include "sheet/ShareViewController.h"
#include "sheet/TwoLineLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<InputItem>;

// A sheet on screen over a home, with its controls found by name.
struct Window {
    Window(Home& home, std::optional<Items> items)
        : sheet(home.services(std::move(items))) {
        sheet.show();
        QApplication::setActiveWindow(&sheet);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&sheet));
    }

    template <typename Control = QWidget> Control& control(const char* name) {
        auto* found = sheet.findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    QRect frame(const char* name) {
        QWidget& widget = control(name);
        return {widget.mapTo(&sheet, QPoint(0, 0)), widget.size()};
    }
    QTableView& table() { return control<QTableView>("tableView"); }
    QPushButton& send() { return control<QPushButton>("sendButton"); }
    QPushButton& cancel() { return control<QPushButton>("cancelButton"); }
    void key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    std::optional<int> selectedRow() {
        const QModelIndexList rows = table().selectionModel()->selectedRows();
        return rows.isEmpty() ? std::nullopt : std::optional(rows.first().row());
    }
    // Waits for the intake's summary, then for the layout to follow it.
    bool summaryShown() {
        const bool shown = QTest::qWaitFor(
            [&] { return !control<TwoLineLabel>("summaryLabel").wholeText().isEmpty(); }, 10000);
        QTest::qWait(50);
        return shown;
    }

    ShareViewController sheet;
};

int lines(const QLabel& label) {
    return label.text().count(u'\n') + 1;
}

TEST(ShareViewController, LaysOutTheSheetOnTheMarginsAndGapsOfItsTable) {
    Home home;
    Window window(home, Items{});
    ASSERT_TRUE(window.summaryShown());
    EXPECT_EQ(window.sheet.size(), QSize(460, 520));
    EXPECT_EQ(window.sheet.minimumSize(), window.sheet.maximumSize());
    EXPECT_EQ(window.sheet.windowTitle(), "Share with tovin");

    const QRect title = window.frame("titleLabel");
    EXPECT_EQ(title.topLeft(), QPoint(12, 12));
    EXPECT_LT(title.width(), 436);
    // Each control, the one above it and the gap between them; all but the title span the inner
    // width, and the button row ends 12 above the bottom.
    const std::tuple<const char*, const char*, int> stack[] = {
        {"summaryLabel", "titleLabel", 4}, {"searchField", "summaryLabel", 8},
        {"tableView", "searchField", 8},   {"captionField", "tableView", 8},
        {"buttonRow", "captionField", 8},
    };
    for (const auto& [name, above, gap] : stack) {
        SCOPED_TRACE(name);
        const QRect frame = window.frame(name);
        EXPECT_EQ(frame.left(), 12);
        EXPECT_EQ(frame.width(), 436);
        EXPECT_EQ(frame.top(), window.frame(above).bottom() + 1 + gap);
    }
    EXPECT_EQ(window.frame("buttonRow").bottom() + 1, 520 - 12);

    const QRect row = window.frame("buttonRow");
    const QRect cancel = window.frame("cancelButton");
    const QRect send = window.frame("sendButton");
    EXPECT_EQ(send.right(), row.right());
    EXPECT_EQ(cancel.right() + 1 + 8, send.left());
    EXPECT_EQ(cancel.center().y(), send.center().y());
    EXPECT_NEAR(window.frame("errorLabel").center().y(), send.center().y(), 1);

    QTableView& table = window.table();
    EXPECT_TRUE(table.verticalHeader()->isHidden());
    EXPECT_TRUE(table.alternatingRowColors());
    EXPECT_FALSE(table.tabKeyNavigation());
    EXPECT_EQ(table.horizontalHeader()->minimumSectionSize(), 280);
    EXPECT_GE(table.columnWidth(0), 280);
    EXPECT_EQ(table.model()->rowCount(), 3);

    const QFont titleFont = window.control("titleLabel").font();
    EXPECT_EQ(titleFont.pixelSize(), 14);
    EXPECT_EQ(titleFont.weight(), QFont::DemiBold);
    EXPECT_EQ(window.control("summaryLabel").font().pixelSize(), 11);
    EXPECT_EQ(window.control("errorLabel").font().pixelSize(), 11);
}

TEST(ShareViewController, CutsTheSummaryAndTheErrorLineAtTwoLinesAndReadsThemOutWhole) {
    Home home;
    const QString link = "https://example.org/" + QString(600, u'x');
    const std::string longName = std::string(200, 'n') + ".png";
    Window window(home, Items{{std::nullopt, {makeURLProvider(QUrl(link)), home.file(longName)}}});
    ASSERT_TRUE(window.summaryShown());
    auto& summary = window.control<TwoLineLabel>("summaryLabel");
    auto& error = window.control<TwoLineLabel>("errorLabel");
    const int oneLine = error.height();
    std::cerr << "heights " << oneLine << " " << summary.height() << " "
              << QFontMetrics(summary.font()).height() << " "
              << QFontMetrics(summary.font()).lineSpacing() << " " << error.sizeHint().height()
              << "\n";
    EXPECT_EQ(summary.wholeText(), "URL: " + link + " · 1 image(s)");
    EXPECT_EQ(lines(summary), 2);
    EXPECT_TRUE(summary.text().endsWith(u'…'));
    EXPECT_GT(summary.height(), oneLine * 3 / 2);
    EXPECT_LT(summary.height(), oneLine * 5 / 2);

    fs::remove(home.folder / longName);
    window.table().selectRow(0);
    window.send().click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.send().isEnabled(); }, 10000));
    EXPECT_TRUE(error.wholeText().startsWith("Could not copy “nnn"));
    EXPECT_EQ(lines(error), 2);
    EXPECT_LE(error.height(), summary.height());

    const std::pair<const char*, QString> names[] = {
        {"searchField", "Search chats"},
        {"tableView", "Chats"},
        {"captionField", "Add a caption"},
        {"cancelButton", "Cancel"},
        {"sendButton", "Send"},
        {"titleLabel", "Share with tovin"},
        {"summaryLabel", summary.wholeText()},
        {"errorLabel", error.wholeText()},
    };
    for (const auto& [name, accessibleName] : names) {
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(&window.control(name));
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), accessibleName) << name;
    }
}

TEST(ShareViewController, IsDrivenByTheKeyboardFromTheSearchField) {
    Home home;
    Window window(home, Items{});
    ASSERT_TRUE(window.summaryShown());
    EXPECT_EQ(QApplication::focusWidget(), &window.control("searchField"));

    window.key(Qt::Key_Return);
    window.key(Qt::Key_Up);
    EXPECT_EQ(window.selectedRow(), std::nullopt);
    // Down with nothing selected picks the first row; the selection stops at either end.
    const std::pair<Qt::Key, int> moves[] = {
        {Qt::Key_Down, 0}, {Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Down, 2},
        {Qt::Key_Up, 1},   {Qt::Key_Up, 0},   {Qt::Key_Up, 0}};
    for (const auto& [key, row] : moves) {
        window.key(key);
        EXPECT_EQ(window.selectedRow(), row);
        EXPECT_TRUE(window.send().isEnabled());
    }
    // Tab goes round the controls in reading order and leaves the table's selection alone.
    for (const char* name :
         {"tableView", "captionField", "cancelButton", "sendButton", "searchField"}) {
        window.key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), &window.control(name)) << name;
        EXPECT_EQ(window.selectedRow(), 0);
    }
    QTest::keyClicks(&window.control("searchField"), "GA");
    EXPECT_EQ(window.selectedRow(), std::nullopt);
    EXPECT_FALSE(window.send().isEnabled());
    EXPECT_TRUE(home.log.empty());

    window.key(Qt::Key_Down);
    window.key(Qt::Key_Return);
    EXPECT_FALSE(window.send().isEnabled());
    EXPECT_FALSE(window.cancel().isEnabled());
    window.key(Qt::Key_Escape);
    EXPECT_FALSE(window.sheet.close());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !home.log.empty(); }, 10000));
    EXPECT_EQ(home.log, (Log{"post", "open tovin://share", "complete"}));
    ASSERT_EQ(home.queued().size(), 1u);
    EXPECT_EQ(home.queued()[0].manifest.chatId, 9007199254740993);
}

TEST(ShareViewController, SendsTheRowDoubleClickedAndCancelsOnEscapeOrClosing) {
    const Log cancelled{"cancel NSCocoaErrorDomain 3072"};
    const std::pair<const char*, std::function<void(Window&)>> cases[] = {
        {"double-click",
         [](Window& window) {
             QTableView& table = window.table();
             const QPoint row = table.visualRect(table.model()->index(1, 0)).center();
             QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, row);
             QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, row);
         }},
        {"Escape", [](Window& window) { window.key(Qt::Key_Escape); }},
        {"closing", [](Window& window) { EXPECT_TRUE(window.sheet.close()); }},
    };
    for (const auto& [what, act] : cases) {
        SCOPED_TRACE(what);
        Home home;
        Window window(home, Items{});
        ASSERT_TRUE(window.summaryShown());
        act(window);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !home.log.empty(); }, 10000));
        if (std::string_view(what) != "double-click") {
            EXPECT_EQ(home.log, cancelled);
            continue;
        }
        EXPECT_EQ(home.log, (Log{"post", "open tovin://share", "complete"}));
        ASSERT_EQ(home.queued().size(), 1u);
        EXPECT_EQ(home.queued()[0].manifest.chatId, -2);
    }
}

TEST(ShareViewController, ShowsItIsBusyWhileSendWaitsAndTheBytesOfASlowWrite) {
    Home home;
    home.files = std::make_shared<SlowCopies>(home.disk, std::chrono::milliseconds(200));
    const auto held = std::make_shared<HeldFileProvider>();
    Window window(home, Items{{std::nullopt, {held}}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return held->asked(); }, 10000));
    auto& progress = window.control<QProgressBar>("progressBar");
    window.table().selectRow(0);

    window.send().click();
    EXPECT_FALSE(window.send().isEnabled());
    EXPECT_TRUE(window.cancel().isEnabled());
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.maximum(), 0);

    std::ofstream(home.folder / "film.mkv") << std::string(3000, 'f');
    held->deliver(home.folder / "film.mkv");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.cancel().isEnabled(); }, 10000));
    EXPECT_FALSE(progress.isVisible());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return progress.isVisible() && progress.value() > 0; }, 10000));
    EXPECT_TRUE(progress.text().endsWith(" of " + QLocale().formattedDataSize(3000)))
        << progress.text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !home.log.empty(); }, 10000));
    EXPECT_FALSE(progress.isVisible());
}

} // namespace
} // namespace tovin::test
