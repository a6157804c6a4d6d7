// The share sheet from construction to its first painted frame, over a chat list of 10 000
// chats, against a bare window of the same widgets with no data, both timed in the same run on
// the offscreen platform, each window in a process of its own that has just started. Then the
// longest the sheet over 1 000 000 chats keeps a person waiting while they type a search right
// after its first frame.
//
//   tovin-bench-sheet-window SCRATCH-FOLDER [ROUNDS]

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "sheet/ShareViewController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

using bench::Home;

// A request sharing one text: the sheet's summary line has something to show.
class TextRequest final : public ShareRequest {
public:
    const std::vector<InputItem>& inputItems() const override { return items_; }
    void complete(const std::string&) override {}
    void cancel(std::error_code) override {}

private:
    std::vector<InputItem> items_{{QStringLiteral("Look at this"), {}}};
};

class Silent final : public Notifier, public URLOpener {
public:
    QCoro::Task<> post() override { co_return; }
    void open(const QUrl&) override {}
};

// Notes a paint of the widget painted last, the Send button: once it has one, the whole frame is
// drawn.
class FramePainted final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
    bool painted = false;
};

// Seconds from before `make` constructs the window to the end of its first painted frame.
template <class Make> double firstFrame(Make&& make) {
    FramePainted frame;
    std::unique_ptr<QWidget> window;
    return bench::secondsFor([&] {
        window = make();
        window->findChildren<QPushButton*>().back()->installEventFilter(&frame);
        window->show();
        while (!frame.painted)
            QCoreApplication::processEvents();
    });
}

QFont fontOfSize(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Titles of two words in Latin script, some accented. (Titles in a script the default font lacks,
// such as Chinese, add a one-off font lookup to the first frame that shows them.)
std::vector<ChatListSnapshot::Entry> makeChats(std::size_t count) {
    static constexpr std::array words{"Anna", "Ben",  "Family", "Project", "Weekend", "Team",
                                      "Zoë",  "Café", "Müller", "Jakob",   "Ops",     "Lunch"};
    std::vector<ChatListSnapshot::Entry> chats;
    for (std::size_t i = 0; i < count; ++i)
        chats.push_back({static_cast<std::int64_t>(i),
                         std::string(words[i % words.size()]) + " " + words[i * 7 % words.size()]});
    return chats;
}

// The sheet's widgets, set up and laid out as the sheet sets them up, with no data behind them
// but the titles of the first `rows` chats in the table: no summary, no model of its own, no
// services.
std::unique_ptr<QWidget> bareWindow(std::size_t rows) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Share with tovin"));
    window->setFixedSize(460, 520);
    auto* title = new QLabel(QStringLiteral("Share with tovin"));
    title->setFont(fontOfSize(14, QFont::DemiBold));
    auto* summary = new QLabel;
    summary->setFont(fontOfSize(11));
    auto* search = new QLineEdit;
    search->setPlaceholderText(QStringLiteral("Search chats…"));
    auto* table = new QTableView;
    auto* model = new QStandardItemModel(0, 1, table);
    model->setHorizontalHeaderLabels({QStringLiteral("Chat")});
    for (const ChatListSnapshot::Entry& chat : makeChats(rows))
        model->appendRow(new QStandardItem(QString::fromStdString(chat.title)));
    table->setModel(model);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setMinimumSectionSize(280);
    table->horizontalHeader()->setStretchLastSection(true);
    auto* caption = new QLineEdit;
    caption->setPlaceholderText(QStringLiteral("Add a caption…"));
    auto* error = new QLabel;
    error->setFont(fontOfSize(11));
    auto* progress = new QProgressBar;
    progress->hide();
    auto* send = new QPushButton(QStringLiteral("Send"));
    send->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(error, 1);
    buttons->addWidget(new QWidget);
    buttons->addWidget(progress);
    buttons->addWidget(new QPushButton(QStringLiteral("Cancel")));
    buttons->addWidget(send);
    auto* sheet = new QVBoxLayout(window.get());
    sheet->setContentsMargins(12, 12, 12, 12);
    sheet->setSpacing(8);
    sheet->addWidget(title, 0, Qt::AlignLeft);
    for (QWidget* widget : std::initializer_list<QWidget*>{summary, search, table, caption})
        sheet->addWidget(widget);
    sheet->addLayout(buttons);
    search->setFocus();
    return window;
}

std::unique_ptr<QWidget> sheetWindow(const fs::path& home) {
    const auto silent = std::make_shared<Silent>();
    return std::make_unique<ShareViewController>(
        SheetServices{std::make_shared<TextRequest>(), std::make_shared<Home>(home),
                      std::make_shared<PosixFileManager>(), std::make_shared<RandomUUIDSource>(),
                      std::make_shared<SystemClock>(), silent, silent});
}

// What a person types, a key every 120 ms, from the moment the sheet shows: a name, a slip
// taken back, another name.
struct Keystroke {
    Qt::Key key;
    const char* text;
};
constexpr std::array<Keystroke, 12> keystrokes{{{Qt::Key_M, "m"},
                                                {Qt::Key_Udiaeresis, "ü"},
                                                {Qt::Key_L, "l"},
                                                {Qt::Key_Backspace, ""},
                                                {Qt::Key_Backspace, ""},
                                                {Qt::Key_Backspace, ""},
                                                {Qt::Key_A, "a"},
                                                {Qt::Key_N, "n"},
                                                {Qt::Key_N, "n"},
                                                {Qt::Key_A, "a"},
                                                {Qt::Key_Space, " "},
                                                {Qt::Key_B, "b"}}};
constexpr int keystrokeInterval = 120;

// More rows than the sheet's table shows at once.
constexpr std::size_t shownRows = 30;

// The longest the event loop was kept from turning while the keystrokes were typed into the
// sheet, starting right after its first frame, and for half a second after the last: what a
// person waits for at worst, a keystroke's own work or anything it waits on.
double worstLag(const fs::path& home) {
    FramePainted frame;
    const std::unique_ptr<QWidget> window = sheetWindow(home);
    window->findChildren<QPushButton*>().back()->installEventFilter(&frame);
    window->show();
    while (!frame.painted)
        QCoreApplication::processEvents();
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    for (std::size_t i = 0; i < keystrokes.size(); ++i) {
        QTimer::singleShot(static_cast<int>(i) * keystrokeInterval, search, [search, i] {
            for (const auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent key(type, keystrokes[i].key, Qt::NoModifier,
                              QString::fromUtf8(keystrokes[i].text));
                QApplication::sendEvent(search, &key);
            }
        });
    }
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worst = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.nsecsElapsed() - last);
        last = clock.nsecsElapsed();
    });
    ticker.start(1);
    const int end = static_cast<int>(keystrokes.size()) * keystrokeInterval + 500;
    while (clock.elapsed() < end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return static_cast<double>(worst) / 1e9;
}

// One window ("sheet" or "bare"), one read of the chat list ("read"), or a search typed into the
// sheet ("keys") in a process of its own, as a person meets it: the program has just started.
int measureOnce(int argc, char** argv) {
    QApplication application(argc, argv);
    const fs::path home = argv[3];
    const std::string_view what = argv[2];
    PosixFileManager disk;
    const double seconds =
        what == "sheet"       ? firstFrame([&] { return sheetWindow(home); })
        : what == "bare"      ? firstFrame([] { return bareWindow(0); })
        : what == "bare-rows" ? firstFrame([] { return bareWindow(shownRows); })
        : what == "keys"
            ? worstLag(home)
            : bench::secondsFor([&] {
                  ChatListSnapshot::read(*SharedContainer::chatSnapshotURL(Home(home)), disk);
              });
    std::printf("%.9f\n", seconds);
    return 0;
}

// Runs this program once more to time `what` in a new process, and reads what it measured.
double measureElsewhere(const char* program, const char* what, const fs::path& home) {
    QProcess child;
    child.start(QString::fromLocal8Bit(program),
                {QStringLiteral("--once"), QString::fromLatin1(what),
                 QString::fromStdString(home.native())});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the timed %s run did not finish\n", what);
        std::exit(1);
    }
    return child.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::string_view(argv[1]) == "--once")
        return measureOnce(argc, argv);

    const bench::Arguments arguments = bench::parseArguments(argc, argv, 41);
    const fs::path home = arguments.folder / "sheet-window";
    PosixFileManager disk;
    ChatListSnapshot::write(makeChats(10'000), *SharedContainer::chatSnapshotURL(Home(home)), disk);

    const auto sheet = [&] { return measureElsewhere(argv[0], "sheet", home); };
    const auto bare = [&] { return measureElsewhere(argv[0], "bare", home); };
    bench::alternate(3, sheet, bare);
    const bench::Samples samples = bench::alternate(arguments.rounds, sheet, bare);
    // How long the read of the chat list alone takes, and the sheet with no chat list at all, tell
    // what the chat list costs the first frame.
    const fs::path emptyHome = arguments.folder / "sheet-window-empty";
    const auto read = [&] { return measureElsewhere(argv[0], "read", home); };
    const auto empty = [&] { return measureElsewhere(argv[0], "sheet", emptyHome); };
    const bench::Samples others = bench::alternate(arguments.rounds, read, empty);
    // A bare window that shows the rows the sheet shows tells what drawing them costs.
    const auto bareRows = [&] { return measureElsewhere(argv[0], "bare-rows", home); };
    const bench::Samples drawn = bench::alternate(arguments.rounds, sheet, bareRows);
    const double sheetTime = bench::median(samples.first);
    const double bareTime = bench::median(samples.second);
    const double readTime = bench::median(others.first);
    const double emptyTime = bench::median(others.second);
    std::printf("construction to first frame, each in a new process: the sheet over 10 000 chats "
                "%.2f ms; a bare window of the same widgets %.2f ms (medians of %d alternating "
                "runs); the sheet with no chat list %.2f ms; reading the chat list alone, also in "
                "a new process: %.2f ms\n",
                sheetTime * 1e3, bareTime * 1e3, arguments.rounds, emptyTime * 1e3, readTime * 1e3);
    bench::printRatio("sheet over 10 000 chats to first frame / bare window", sheetTime / bareTime,
                      "target <= 1.1x");
    bench::printRatio("the sheet with no chat list / bare window", emptyTime / bareTime,
                      "for comparison");
    bench::printRatio("sheet over 10 000 chats / a bare window showing the same first rows",
                      bench::median(drawn.first) / bench::median(drawn.second), "for comparison");
    fs::remove_all(home);

    const fs::path millionHome = arguments.folder / "sheet-window-million";
    ChatListSnapshot::write(makeChats(1'000'000),
                            *SharedContainer::chatSnapshotURL(Home(millionHome)), disk);
    std::vector<double> lags;
    for (int round = 0; round < std::max(1, arguments.rounds / 8); ++round)
        lags.push_back(measureElsewhere(argv[0], "keys", millionHome));
    std::printf(
        "worst wait while typing %zu keys into the sheet over 1 000 000 chats from its first "
        "frame on: %.1f ms (median of %zu runs; worst run %.1f ms)\n",
        keystrokes.size(), bench::median(lags) * 1e3, lags.size(),
        *std::max_element(lags.begin(), lags.end()) * 1e3);
    fs::remove_all(millionHome);
}
