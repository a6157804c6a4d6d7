#include "BuiltTranslations.h"
#include "intake/ValueItemProvider.h"
#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "sheet/DBusNotifier.h"
#include "sheet/EnqueueFailure.h"
#include "sheet/ShareViewController.h"
#include "sheet/Translation.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocalServer>
#include <QProcess>
#include <QStringListModel>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<InputItem>;
using Log = std::vector<std::string>;
using Kind = ShareOutbox::Manifest::Attachment::Kind;

const std::string openHostURL = std::string("open ") + SharedContainer::hostURL;
const Log sent{"post", openHostURL, "complete"};
const Log cancelled{"cancel NSCocoaErrorDomain 3072"};

// A dbus-daemon of the test's own that is the session bus of the test's process, and of the
// processes it starts, while the object lives. It counts the enqueue signals it carries.
class PrivateSessionBus final : public QObject {
    Q_OBJECT

public:
    PrivateSessionBus()
        : connection_(QDBusConnection::connectToBus(start(daemon_), name)) {
        connection_.connect({}, SharedContainer::enqueueSignalPath,
                            SharedContainer::enqueueSignalInterface,
                            SharedContainer::enqueueSignalMember, this, SLOT(count()));
    }
    ~PrivateSessionBus() override {
        QDBusConnection::disconnectFromBus(name);
        if (previous_)
            qputenv("DBUS_SESSION_BUS_ADDRESS", *previous_);
        else
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    // How many have arrived, once every signal the bus held for us is in: it answers a ping
    // after what it queued before.
    int arrived() {
        connection_.call(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Peer", "Ping"));
        QCoreApplication::processEvents();
        return count_;
    }

private slots:
    void count() { ++count_; }

private:
    static constexpr const char* name = "private session bus";

    // Starts the daemon and makes it the session bus; its address.
    static QString start(QProcess& daemon) {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon.waitForReadyRead(10000))
            throw std::runtime_error("cannot start dbus-daemon");
        const QByteArray address = daemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        return QString::fromUtf8(address);
    }

    const std::optional<QByteArray> previous_ =
        qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")
            ? std::optional(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
            : std::nullopt;
    QProcess daemon_;
    QDBusConnection connection_;
    int count_ = 0;
};

// Without a bus, or with one that takes connections and never answers them, a post ends within
// its two seconds and posts nothing; the event loop turns while it waits.
TEST(DBusNotifier, PostsOneSignalAndNeverHoldsUpTheEventLoop) {
    testing::TemporaryFolder folder;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(QString::fromStdString(folder / "silent")));
    PrivateSessionBus bus;
    QCoro::waitFor(DBusNotifier().post());
    EXPECT_EQ(bus.arrived(), 1);
    int ticks = 0;
    QTimer ticking;
    QObject::connect(&ticking, &QTimer::timeout, [&] { ++ticks; });
    ticking.start(10);
    for (const QString& address :
         {QString("unix:path=/nonexistent/bus"), "unix:path=" + silent.fullServerName()}) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QElapsedTimer posting;
        posting.start();
        ticks = 0;
        QCoro::waitFor(DBusNotifier().post());
        EXPECT_LT(posting.elapsed(), 5000) << address.toStdString();
        EXPECT_GE(ticks, posting.elapsed() / 20) << address.toStdString();
    }
    EXPECT_EQ(bus.arrived(), 1);
}

// Never a library's text, an error number or a path of the outbox.
TEST(EnqueueFailureMessage, NamesTheFileOrTheSharedFolderAndSaysWhyInPlainWords) {
    const fs::path outbox =
        "/home/ada/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox";
    const fs::path entry = outbox / "6F9619FF-8B86-4011-B42D-00C04FC964FF";
    const auto failed = [](const fs::path& path, int code, const fs::path& copy = {}) {
        const std::error_code error(code, std::generic_category());
        return std::make_exception_ptr(copy.empty() ? fs::filesystem_error("", path, error)
                                                    : fs::filesystem_error("", path, copy, error));
    };
    const std::pair<std::exception_ptr, const char*> cases[] = {
        {failed("/home/ada/IMG_2041.HEIC", ENOSPC, entry / "attachments/IMG_2041.HEIC"),
         "Could not copy “IMG_2041.HEIC”: the disk is full."},
        {failed(entry / "attachments/Photos/a.jpg", EIO),
         "Could not copy “a.jpg”: the disk reported a read or write error."},
        {failed(entry / "manifest.json", EDQUOT),
         "Could not save the share in tovin's shared folder: the disk quota is used up."},
        {failed("/home/ada/a:b.txt", EINVAL, entry / "attachments/a:b.txt"),
         "Could not copy “a:b.txt”: the disk does not accept it."},
        {failed("/home/ada", EINVAL),
         "Could not copy “ada”: tovin's shared folder cannot be shared into itself."},
        {failed("", EIO), "Could not save the share: the disk reported a read or write error."},
        {std::make_exception_ptr(std::system_error(make_error_code(std::errc::message_size))),
         "Could not save the share: the text is too long."},
        {std::make_exception_ptr(
             std::system_error(make_error_code(std::errc::argument_list_too_long))),
         "Could not save the share: it holds too many files."},
        {std::make_exception_ptr(std::invalid_argument("[json.exception.type_error.316]")),
         "Could not save the share."},
    };
    for (const auto& [failure, message] : cases)
        EXPECT_EQ(enqueueFailureMessage(failure, outbox).toStdString(), message);
}

// The request, the notifier and the URL opener in one, logging what is asked of them in order.
// Posts also go out on the session bus when asked to.
class Platform final : public ShareRequest, public Notifier, public URLOpener {
public:
    Platform(Items items, bool onBus, QString leftOut)
        : items_(std::move(items))
        , onBus_(onBus)
        , leftOut_(std::move(leftOut)) {}
    const Items& inputItems() const override { return items_; }
    QString leftOut() const override { return leftOut_; }
    void complete(const std::string& id) override {
        log.push_back("complete");
        queuedID = id;
    }
    void cancel(std::error_code error) override {
        log.push_back(std::string("cancel ") + error.category().name() + " " +
                      std::to_string(error.value()));
    }
    QCoro::Task<> post() override {
        log.push_back("post");
        if (onBus_)
            co_await DBusNotifier().post();
    }
    void open(const QUrl& url) override { log.push_back("open " + url.toString().toStdString()); }

    Log log;
    std::string queuedID;

private:
    Items items_;
    bool onBus_;
    QString leftOut_;
};

// A file whose load returns only when the test delivers it.
class HeldFile final : public ItemProvider {
public:
    bool hasItemConformingTo(std::string_view type) const override {
        return type == "public.file-url";
    }
    void loadItem(std::string_view, ItemCompletion completion) const override {
        completion_.emplace(std::move(completion));
    }
    void deliver(LoadedItem loaded) const {
        std::jthread([completion = *completion_, loaded] { completion(loaded); });
    }
    mutable std::optional<ItemCompletion> completion_;
};

// The disk, full for manifests while `full`, and copying slowly when given a pause: each copy
// tells a quarter of its bytes four times, a pause apart.
class TestDisk final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    void copyItem(const fs::path& source, const fs::path& destination,
                  const CopyProgress& progress) override {
        const std::uintmax_t size = contentSize(source, destination);
        for (int piece = 0; piece < 4 && pause > std::chrono::milliseconds(0); ++piece) {
            std::this_thread::sleep_for(pause);
            progress(size / 4 + (piece == 3 ? size % 4 : 0));
        }
        FileManagerWrapper::copyItem(source, destination, pause.count() ? nullptr : progress);
    }
    void writeFile(const fs::path& file, std::string_view bytes, WriteMode mode) override {
        if (full)
            throw fs::filesystem_error("", file, make_error_code(std::errc::no_space_on_device));
        FileManagerWrapper::writeFile(file, bytes, mode);
    }
    std::atomic<bool> full = false;
    std::chrono::milliseconds pause{0};
};

// A temporary home with a chat list of three in its shared root, and files to share.
struct Home {
    Home() {
        environment->variables = {{"HOME", folder.path()}, {"TMPDIR", folder.path()}};
        ChatListSnapshot::write({{7, "Alpha"}, {-2, "beta"}, {9007199254740993, "Gamma"}},
                                *SharedContainer::chatSnapshotURL(*environment), *disk);
    }
    std::shared_ptr<const ItemProvider> file(const std::string& name, std::string bytes = "*") {
        std::ofstream(folder / name) << bytes;
        return makeFileProvider(folder / name);
    }
    std::vector<ShareOutbox::PendingShare> queued() const {
        return ShareOutbox(outbox, disk).pending();
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<testing::FakeEnvironment> environment =
        std::make_shared<testing::FakeEnvironment>();
    std::shared_ptr<TestDisk> disk =
        std::make_shared<TestDisk>(std::make_shared<PosixFileManager>(environment));
    std::shared_ptr<UUIDSource> uuids = std::make_shared<testing::CountingUUIDSource>();
    const fs::path outbox =
        folder / "Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox";
};

// The sheet on screen over a home, unless not `shown`; no items means no request. Controls are
// found by name.
struct Window {
    Window(Home& home, std::optional<Items> items, bool onBus = false, QString leftOut = {},
           bool shown = true)
        : platform(std::make_shared<Platform>(items.value_or(Items{}), onBus, std::move(leftOut)))
        , sheet(SheetServices{items ? platform : nullptr, home.environment, home.disk, home.uuids,
                              std::make_shared<SystemClock>(), platform, platform}) {
        if (!shown)
            return;
        sheet.show();
        QApplication::setActiveWindow(&sheet);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&sheet));
    }

    template <typename Control = QWidget> Control& control(const char* name) {
        auto* found = sheet.findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    QTableView& table() { return control<QTableView>("tableView"); }
    QPushButton& send() { return control<QPushButton>("sendButton"); }
    TwoLineLabel& label(const char* name) { return control<TwoLineLabel>(name); }
    std::pair<bool, bool> buttons() {
        return {send().isEnabled(), control("cancelButton").isEnabled()};
    }
    // Whether the search, the chat and the caption are shown as fixed, none taking changes.
    std::tuple<bool, bool, bool> fixed() {
        return {control<QLineEdit>("searchField").isReadOnly(), !table().isEnabled(),
                control<QLineEdit>("captionField").isReadOnly()};
    }
    void key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    // Waits for the intake's summary, then for the layout to follow it.
    bool summaryShown() {
        const bool shown =
            QTest::qWaitFor([&] { return !label("summaryLabel").wholeText().isEmpty(); }, 10000);
        QTest::qWait(50);
        return shown;
    }
    // Waits until no share is being written: Cancel is back, or the request has heard the end,
    // the post done.
    bool settled() {
        return QTest::qWaitFor(
            [&] {
                return buttons().second ||
                       (!platform->log.empty() && platform->log.back() != "post");
            },
            10000);
    }

    std::shared_ptr<Platform> platform;
    ShareViewController sheet;
};

// The texts of an alert label each time it shows, which is when screen readers announce it.
class HeardAlerts final : public QObject {
public:
    explicit HeardAlerts(TwoLineLabel& label) { label.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            heard.append(static_cast<TwoLineLabel*>(watched)->wholeText());
        return false;
    }
    QStringList heard;
};

// What the person does to end the request.
using Act = std::function<void(Home&, Window&)>;

Act choose(int row, Qt::Key key) {
    return [=](Home&, Window& window) {
        window.table().selectRow(row);
        window.key(key);
    };
}

void doubleClick(Home&, Window& window) {
    QWidget* rows = window.table().viewport();
    const QPoint at = window.table().visualRect(window.table().model()->index(1, 0)).center();
    QTest::mouseClick(rows, Qt::LeftButton, {}, at);
    QTest::mouseDClick(rows, Qt::LeftButton, {}, at);
}

void noHome(Home& home, Window& window) {
    home.environment->variables.erase("HOME");
    choose(0, Qt::Key_Return)(home, window);
}

void fileGone(Home& home, Window& window) {
    fs::remove(home.folder / "report.pdf");
    choose(0, Qt::Key_Return)(home, window);
}

void sendAgain(Home& home, Window& window) {
    home.disk->full = true;
    choose(0, Qt::Key_Return)(home, window);
    ASSERT_TRUE(window.settled());
    window.send().click();
    ASSERT_TRUE(window.settled());
    home.disk->full = false;
    window.send().click();
}

void close(Home&, Window& window) {
    EXPECT_TRUE(window.sheet.close());
}

void returnOnCancel(Home&, Window& window) {
    window.table().selectRow(0);
    window.control("cancelButton").setFocus();
    window.key(Qt::Key_Return);
}

void sendAfterCancel(Home& home, Window& window) {
    choose(0, Qt::Key_Escape)(home, window);
    window.send().click();
}

void cancelAfterSend(Home& home, Window& window) {
    choose(0, Qt::Key_Return)(home, window);
    ASSERT_TRUE(window.settled());
    window.sheet.close();
}

const Log sentAlone{"post", openHostURL};
const char* const full = "Could not save the share in tovin's shared folder: the disk is full.";

struct Ending {
    const char* name;
    bool request;
    Act act;
    Log log;
    const char* errorLine;
    std::pair<bool, bool> buttons; // Send and Cancel enabled
    std::int64_t queuedFor;        // the chat of the one share queued, 0 for none
    int alerts;                    // how often the error line was announced
};

// clang-format off
const Ending endings[] = {
    {"ReturnWithNoRowSelected", true, choose(-1, Qt::Key_Return), {}, "", {false, true}, 0, 0},
    {"Return", true, choose(2, Qt::Key_Return), sent, "", {false, false}, 9007199254740993, 0},
    {"DoubleClick", true, doubleClick, sent, "", {false, false}, -2, 0},
    {"SentWithoutARequest", false, choose(0, Qt::Key_Return), sentAlone, "", {false, false}, 7, 0},
    {"NoSharedFolder", true, noHome, {}, "Could not reach tovin's shared folder.", {true, true}, 0, 1},
    {"AFileGone", true, fileGone, {}, "Could not copy “report.pdf”: it no longer exists.", {true, true}, 0, 1},
    {"SendAgainAfterAFailure", true, sendAgain, sent, full, {false, false}, 7, 2},
    {"Escape", true, choose(0, Qt::Key_Escape), cancelled, "", {true, true}, 0, 0},
    {"ReturnOnCancel", true, returnOnCancel, cancelled, "", {true, true}, 0, 0},
    {"Closing", true, close, cancelled, "", {false, true}, 0, 0},
    {"ClosingWithoutARequest", false, close, {}, "", {false, true}, 0, 0},
    {"SendAfterCancel", true, sendAfterCancel, cancelled, "", {true, true}, 0, 0},
    {"CancelAfterSend", true, cancelAfterSend, sent, "", {false, false}, 7, 0},
};
// clang-format on

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class ShareViewControllerEnds : public ::testing::TestWithParam<Ending> {};

// Every share of a request holds the trimmed caption, the shared text, the link and the files.
// A failure is heard as an alert and leaves the focus where it was; the choices are given back.
TEST_P(ShareViewControllerEnds, TheRequestAsTheUserChoosesOrSaysWhyItCannot) {
    const Ending& test = GetParam();
    PrivateSessionBus bus;
    Home home;
    std::optional<Items> items;
    if (test.request)
        items = Items{{"shared text",
                       {home.file("report.pdf"), makeURLProvider(QUrl("https://example.org/a?b")),
                        home.file("a.png")}}};
    // What the request could not take shows until a Send says more.
    const QString leftOut = QStringLiteral("Could not share “gone.pdf”: it no longer exists.");
    Window window(home, items, true, leftOut);
    ASSERT_TRUE(!test.request || window.summaryShown());
    if (test.request) {
        EXPECT_EQ(window.label("summaryLabel").wholeText(),
                  "Text: shared text · URL: https://example.org/a?b · 1 image(s) · 1 file(s)");
        EXPECT_EQ(window.label("summaryLabel").toolTip(), "");
    }
    window.control<QLineEdit>("captionField").setText(QStringLiteral("\u3000 hi\t"));
    const HeardAlerts alerts(window.label("errorLabel"));
    test.act(home, window);
    ASSERT_TRUE(window.settled());
    EXPECT_EQ(window.platform->log, test.log);
    EXPECT_EQ(window.label("errorLabel").wholeText(),
              test.request && !*test.errorLine ? leftOut : QString(test.errorLine));
    EXPECT_EQ(alerts.heard, QStringList(test.alerts, test.errorLine));
    if (*test.errorLine) {
        EXPECT_EQ(QApplication::focusWidget(), &window.control("searchField"));
    }
    EXPECT_EQ(window.buttons(), test.buttons);
    const bool sent = test.queuedFor != 0;
    EXPECT_EQ(window.fixed(), std::tuple(sent, sent, sent));
    const auto shares = home.queued();
    ASSERT_EQ(shares.size(), sent ? 1u : 0u);
    EXPECT_EQ(bus.arrived(), sent ? 1 : 0);
    if (!sent)
        return;
    const ShareOutbox::Manifest& share = shares[0].manifest;
    EXPECT_EQ(share.chatId, test.queuedFor);
    EXPECT_EQ(share.text, test.request ? "hi\nshared text" : "hi");
    EXPECT_EQ(share.url.has_value(), test.request);
    const std::vector<ShareOutbox::Manifest::Attachment> files{{Kind::image, "a.png"},
                                                               {Kind::file, "report.pdf"}};
    EXPECT_EQ(share.attachments, test.request ? files : decltype(files){});
    EXPECT_EQ(window.platform->queuedID, test.request ? shares[0].id : "");
}

INSTANTIATE_TEST_SUITE_P(Ways, ShareViewControllerEnds, ::testing::ValuesIn(endings),
                         [](const auto& info) { return std::string(info.param.name); });

// A Send while an item still loads: it waits, busy, for every item, showing the chat and caption
// it will send whatever the user does. The sheet shows three files, the second held until the
// test delivers it; the disk copies slowly unless the share is to be cancelled.
struct HeldSend {
    explicit HeldSend(bool slowly, const QString& leftOut = {}) {
        home.disk->pause = std::chrono::milliseconds(slowly ? 150 : 0);
        window = std::make_unique<Window>(
            home,
            Items{{std::nullopt,
                   {home.file("a.png", std::string(3000, 'a')), held, home.file("c.png")}}},
            false, leftOut);
        EXPECT_TRUE(QTest::qWaitFor([&] { return held->completion_.has_value(); }, 10000));
        QTableView& table = window->table();
        auto& caption = window->control<QLineEdit>("captionField");
        table.selectRow(1);
        caption.setText(QStringLiteral("first"));
        window->key(Qt::Key_Return);
        EXPECT_EQ(window->buttons(), std::pair(false, true));
        EXPECT_TRUE(progress().isVisible());
        window->key(Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), "zz");
        QTest::keyClicks(&caption, " plus late edit");
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {},
                          table.visualRect(table.model()->index(2, 0)).center());
        EXPECT_EQ(window->fixed(), std::tuple(true, true, true));
        EXPECT_EQ(caption.text(), "first");
        EXPECT_EQ(window->control<QLineEdit>("searchField").text(), "");
        EXPECT_EQ(table.selectionModel()->selectedRows(),
                  QModelIndexList{table.model()->index(1, 0)});
    }
    QProgressBar& progress() { return window->control<QProgressBar>("progressBar"); }
    void deliver() {
        std::ofstream(home.folder / "b.png") << "*";
        held->deliver({QUrl::fromLocalFile(QString::fromStdString(home.folder / "b.png"))});
    }

    Home home;
    std::shared_ptr<HeldFile> held = std::make_shared<HeldFile>();
    std::unique_ptr<Window> window;
};

// Then the share is written while the window keeps drawing: after a third of a second it shows
// the bytes copied, and it refuses Escape and closing.
TEST(ShareViewController, ASendWaitsForTheIntakeThenWritesWhileTheWindowDraws) {
    HeldSend send(true);
    const auto platform = send.window->platform;
    send.deliver();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !send.window->buttons().second; }, 10000));
    send.window->key(Qt::Key_Escape);
    EXPECT_FALSE(send.window->sheet.close());
    EXPECT_EQ(send.window->buttons(), std::pair(false, false));
    QProgressBar& progress = send.progress();
    EXPECT_FALSE(progress.isVisible());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return progress.isVisible() && progress.value() > 0; }, 10000));
    EXPECT_TRUE(platform->log.empty());
    EXPECT_TRUE(progress.text().endsWith(" of " + QLocale().formattedDataSize(3002)))
        << progress.text().toStdString();
    ASSERT_TRUE(send.window->settled());
    EXPECT_EQ(platform->log, sent);
    EXPECT_FALSE(progress.isVisible());
    const auto shares = send.home.queued();
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(shares[0].manifest.chatId, -2);
    EXPECT_EQ(shares[0].manifest.text, "first");
    EXPECT_EQ(shares[0].manifest.attachments,
              (std::vector<ShareOutbox::Manifest::Attachment>{
                  {Kind::image, "a.png"}, {Kind::image, "b.png"}, {Kind::image, "c.png"}}));
}

// Cancel wins over a waiting Send, and a sheet that goes tells nothing later.
TEST(ShareViewController, CancelWinsOverAWaitingSendAndASheetGoneTellsNothingLater) {
    for (const bool sheetGoes : {false, true}) {
        SCOPED_TRACE(sheetGoes ? "the sheet goes" : "the sheet stays");
        HeldSend send(false);
        const auto platform = send.window->platform;
        send.window->key(Qt::Key_Escape);
        if (sheetGoes)
            send.window.reset();
        send.deliver();
        QTest::qWait(100);
        EXPECT_EQ(platform->log, cancelled);
        EXPECT_TRUE(send.home.queued().empty());
    }
}

TEST(ShareViewController, ASheetThatGoesWhileWritingStillQueuesAndTellsNothingLater) {
    HeldSend send(true);
    const auto platform = send.window->platform;
    send.deliver();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !send.window->buttons().second; }, 10000));
    send.window.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return send.home.queued().size() == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_TRUE(platform->log.empty());
}

// An item lost meanwhile leaves the choice to the person again, saying why beside what the
// request left out, and heard.
TEST(ShareViewController, AnItemLostDuringASendGivesTheChoiceBackAndSaysWhy) {
    const QString leftOut = QStringLiteral("Could not share “x.pdf”: it no longer exists.");
    HeldSend send(true, leftOut);
    const HeardAlerts alerts(send.window->label("errorLabel"));
    send.held->deliver({{}, std::make_error_code(std::errc::no_space_on_device)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !send.progress().isVisible(); }, 10000));
    const QString said =
        leftOut + " Could not take in everything that was shared: the disk is full.";
    EXPECT_EQ(send.window->label("errorLabel").wholeText(), said);
    EXPECT_EQ(alerts.heard, QStringList(said));
    EXPECT_EQ(send.window->fixed(), std::tuple(false, false, false));
    EXPECT_EQ(send.window->buttons(), std::pair(true, true));
    EXPECT_TRUE(send.window->platform->log.empty());
    EXPECT_TRUE(send.home.queued().empty());
}

// The intake starts once the first frame is out; a Send typed ahead of it waits all the same.
TEST(ShareViewController, ASendBeforeTheFirstFrameWaitsForTheIntake) {
    Home home;
    Window early(home, Items{{QStringLiteral("hello"), {home.file("a.png")}}}, false, {}, false);
    early.table().selectRow(0);
    early.send().click();
    EXPECT_EQ(early.buttons(), std::pair(false, true));
    QTest::qWait(50);
    EXPECT_TRUE(home.queued().empty());
    early.sheet.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return early.platform->log == sent; }, 10000));
    const auto shares = home.queued();
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(shares[0].manifest.text, "hello");
    EXPECT_EQ(shares[0].manifest.attachments,
              (std::vector<ShareOutbox::Manifest::Attachment>{{Kind::image, "a.png"}}));
}

// The contrast of the pixel of `widget`, as the sheet draws it, farthest from its top-left one.
double drawnContrast(QWidget& sheet, QWidget& widget) {
    const QImage image =
        sheet.grab(QRect(widget.mapTo(&sheet, QPoint(0, 0)), widget.size())).toImage();
    const auto luminance = [&](int x, int y) {
        double sum = 0;
        for (const auto& [value, weight] : {std::pair(qRed(image.pixel(x, y)), 0.2126),
                                            {qGreen(image.pixel(x, y)), 0.7152},
                                            {qBlue(image.pixel(x, y)), 0.0722}})
            sum += weight * (value <= 10 ? value / 255.0 / 12.92
                                         : std::pow((value / 255.0 + 0.055) / 1.055, 2.4));
        return sum + 0.05;
    };
    double least = luminance(0, 0), most = least;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            least = std::min(least, luminance(x, y));
            most = std::max(most, luminance(x, y));
        }
    return std::max(luminance(0, 0) / least, most / luminance(0, 0));
}

// The sheet over a link of megabytes: nothing is clipped or overlaps, and every text is cut to
// what the sheet shows, whole in its tooltip as far as a tooltip can hold it.
TEST(ShareViewController, LaysOutEveryControlInsideTheSheetAndCutsEveryText) {
    Home home;
    // A picture's data as a link: too long for the widths of its characters to add up.
    const QString link = "data:image/png;base64," + QString(8 << 20, u'A');
    const std::string longName = std::string(200, 'n') + ".png";
    Window window(home, Items{{std::nullopt, {makeURLProvider(QUrl(link)), home.file(longName)}}});
    ASSERT_TRUE(window.summaryShown());
    const auto frame = [&](const char* name) {
        QWidget& widget = window.control(name);
        return QRect(widget.mapTo(&window.sheet, QPoint(0, 0)), widget.size());
    };
    EXPECT_EQ(window.sheet.minimumSize(), window.sheet.maximumSize());
    const char* const stack[] = {"titleLabel", "summaryLabel", "searchField",
                                 "tableView",  "captionField", "buttonRow"};
    for (std::size_t i = 0; i < std::size(stack); ++i) {
        EXPECT_TRUE(window.sheet.rect().contains(frame(stack[i]))) << stack[i];
        if (i > 0) {
            EXPECT_GT(frame(stack[i]).top(), frame(stack[i - 1]).bottom()) << stack[i];
        }
    }
    const QRect cancel = frame("cancelButton");
    const QRect send = frame("sendButton");
    EXPECT_EQ(send.right(), frame("buttonRow").right());
    EXPECT_LT(cancel.right(), send.left());
    EXPECT_EQ(cancel.center().y(), send.center().y());
    EXPECT_NEAR(frame("errorLabel").center().y(), send.center().y(), 1);

    TwoLineLabel& summary = window.label("summaryLabel");
    TwoLineLabel& error = window.label("errorLabel");
    EXPECT_EQ(summary.wholeText(), "URL: " + link + " · 1 image(s)");
    EXPECT_EQ(summary.text().count(u'\n'), 1);
    EXPECT_TRUE(summary.text().endsWith(u'…'));
    EXPECT_EQ(summary.height(), 2 * error.height());
    const auto letters = [](QString text) { return text.remove(u'\n').remove(u' '); };
    EXPECT_TRUE(letters(summary.toolTip()).startsWith("URL:data:image/png;base64,AAAA"));
    EXPECT_TRUE(summary.toolTip().endsWith(u'…'));
    EXPECT_LT(summary.toolTip().size(), 2000);
    const auto* rows = qobject_cast<QStyledItemDelegate*>(window.table().itemDelegate());
    const QString title = rows->displayText(link, QLocale());
    EXPECT_LT(title.size(), 1000);
    EXPECT_TRUE(link.startsWith(title.chopped(1)) && title.endsWith(u'…')) << title.size();

    fs::remove(home.folder / longName);
    window.table().selectRow(0);
    window.send().click();
    ASSERT_TRUE(window.settled());
    EXPECT_TRUE(error.wholeText().startsWith("Could not copy “nnn"));
    EXPECT_EQ(error.text().count(u'\n'), 1);
    EXPECT_EQ(letters(error.toolTip()), letters(error.wholeText()));
}

TEST(ShareViewController, MovesByArrowAndTabInReadingOrder) {
    Home home;
    Window window(home, Items{{QStringLiteral("text"), {}}});
    ASSERT_TRUE(window.summaryShown());
    const auto selectedRow = [&]() -> std::optional<int> {
        const QModelIndexList rows = window.table().selectionModel()->selectedRows();
        return rows.isEmpty() ? std::nullopt : std::optional(rows.first().row());
    };
    EXPECT_EQ(QApplication::focusWidget(), &window.control("searchField"));
    window.key(Qt::Key_Up);
    EXPECT_EQ(selectedRow(), std::nullopt);
    // Down with nothing selected picks the first row; the selection stops at either end.
    const std::pair<Qt::Key, int> moves[] = {{Qt::Key_Down, 0}, {Qt::Key_Down, 1},
                                             {Qt::Key_Down, 2}, {Qt::Key_Down, 2},
                                             {Qt::Key_Up, 1},   {Qt::Key_Up, 0}};
    for (const auto& [key, row] : moves) {
        window.key(key);
        EXPECT_EQ(selectedRow(), row);
    }
    EXPECT_TRUE(window.send().isEnabled());
    // Tab goes round the controls in reading order and leaves the table's selection alone.
    for (const char* name :
         {"tableView", "captionField", "cancelButton", "sendButton", "searchField"}) {
        window.key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), &window.control(name)) << name;
        EXPECT_EQ(selectedRow(), 0);
    }
    QTest::keyClicks(QApplication::focusWidget(), "GA");
    EXPECT_EQ(selectedRow(), std::nullopt);
    EXPECT_FALSE(window.send().isEnabled());
    window.key(Qt::Key_Down);
    EXPECT_EQ(window.table().model()->index(*selectedRow(), 0).data(), "Gamma");
}

// Every control has its name for screen readers, the error line is an alert, and the grey and
// the red read well on a light window and on a dark one.
TEST(ShareViewController, NamesEveryControlAndReadsWellOnLightAndDark) {
    Home home;
    const QString leftOut = QStringLiteral("Could not share “x.pdf”: it no longer exists.");
    Window window(home, Items{{QStringLiteral("text"), {}}}, false, leftOut);
    ASSERT_TRUE(window.summaryShown());
    TwoLineLabel& summary = window.label("summaryLabel");
    TwoLineLabel& error = window.label("errorLabel");
    const std::pair<const char*, QString> names[] = {
        {"searchField", "Search chats"},
        {"tableView", "Chats"},
        {"captionField", "Add a caption"},
        {"cancelButton", "Cancel"},
        {"sendButton", "Send"},
        {"titleLabel", "Share with tovin"},
        {"summaryLabel", "Text: text"},
        {"errorLabel", leftOut},
    };
    for (const auto& [name, accessibleName] : names) {
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(&window.control(name));
        EXPECT_EQ(accessible ? accessible->text(QAccessible::Name) : "", accessibleName) << name;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&window.sheet)->role(), QAccessible::Dialog);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&error)->role(), QAccessible::AlertMessage);
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    for (const auto role : {QPalette::Window, QPalette::Base})
        dark.setColor(role, QColor(0x2E, 0x2E, 0x2E));
    for (const auto role : {QPalette::WindowText, QPalette::Text})
        dark.setColor(role, QColor(0xF0, 0xF0, 0xF0));
    dark.setColor(QPalette::PlaceholderText, QColor(0xF0, 0xF0, 0xF0, 0x80));
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        EXPECT_GE(drawnContrast(window.sheet, summary), 4.5);
        EXPECT_GE(drawnContrast(window.sheet, error), 4.5);
    }
    QApplication::setPalette(light);
}

// Without a chat list the table says that tovin has not shared its chats, and Send stays off.
TEST(ShareViewController, SaysWhenTovinHasNotSharedItsChats) {
    Home home;
    fs::remove(*SharedContainer::chatSnapshotURL(*home.environment));
    Window window(home, std::nullopt);
    auto& placeholder = window.control<QLabel>("chatsPlaceholder");
    EXPECT_TRUE(placeholder.isVisible());
    EXPECT_EQ(placeholder.text(), "tovin has not shared its chats yet.");
    EXPECT_EQ(window.table().accessibleDescription(), placeholder.text());
    window.key(Qt::Key_Down);
    window.key(Qt::Key_Return);
    EXPECT_EQ(window.buttons(), std::pair(false, true));
    EXPECT_EQ(window.label("errorLabel").wholeText(), "");
    EXPECT_GE(drawnContrast(window.sheet, placeholder), 4.5);
}

// The sheet in the language of the locale, counts in the forms their numbers take, the Arabic
// sheet laid out from the right; a language without a translation keeps the English texts, and
// their direction, although Qt has its own texts in it.
TEST(ShareViewController, SpeaksTheLanguageOfItsLocaleInItsDirection) {
    struct Row {
        const char* locale;
        Qt::LayoutDirection direction;
        QStringList texts; // title, search, caption, Cancel, Send
        QString summary;
        QString errorLine;
    };
    const Row rows[] = {
        {"de_DE",
         Qt::LeftToRight,
         {"Mit tovin teilen", "Chats durchsuchen …", "Begleittext hinzufügen", "Abbrechen",
          "Senden"},
         "Text: \u2068shared text\u2069 · Link: \u2068https://example.org/a?b\u2069 · "
         "1\u00a0Bild · 2\u00a0Dateien",
         "Speichern im gemeinsamen tovin-Ordner fehlgeschlagen: Der Datenträger ist voll."},
        {"ar_EG",
         Qt::RightToLeft,
         {"مشاركة عبر tovin", "البحث في الدردشات…", "إضافة تعليق", "إلغاء", "إرسال"},
         "النص: \u2068shared text\u2069 · الرابط: \u2068https://example.org/a?b\u2069 · "
         "صورة واحدة · ملفان",
         "تعذّر حفظ المشاركة في مجلد tovin المشترك: القرص ممتلئ."},
        {"fa_IR",
         Qt::LeftToRight,
         {"Share with tovin", "Search chats…", "Add a caption", "Cancel", "Send"},
         "Text: shared text · URL: https://example.org/a?b · 1 image(s) · 2 file(s)",
         "Could not save the share in tovin's shared folder: the disk is full."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.locale);
        Translation translation(QLocale(row.locale), builtTranslations);
        translation.install();
        Home home;
        Window window(home, Items{{"shared text",
                                   {home.file("a.png"), home.file("b.pdf"), home.file("c.pdf"),
                                    makeURLProvider(QUrl("https://example.org/a?b"))}}});
        EXPECT_TRUE(window.summaryShown());
        auto& cancel = window.control<QPushButton>("cancelButton");
        const QStringList texts{
            window.sheet.windowTitle(), window.control<QLineEdit>("searchField").placeholderText(),
            window.control("captionField").accessibleName(), cancel.text(), window.send().text()};
        EXPECT_EQ(texts, row.texts);
        EXPECT_EQ(window.label("summaryLabel").wholeText(), row.summary);
        EXPECT_EQ(window.sheet.layoutDirection(), row.direction);
        // Send stands at the end the sheet's lines end at.
        EXPECT_EQ(window.send().x() < cancel.x(), row.direction == Qt::RightToLeft);
        home.disk->full = true;
        window.key(Qt::Key_Down);
        window.key(Qt::Key_Return);
        EXPECT_TRUE(window.settled());
        EXPECT_EQ(window.label("errorLabel").wholeText(), row.errorLine);
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    }
}

// Each title on one line, from the side where it begins and in its own direction: its final
// dot, or the "…" of a cut title, is drawn at the other end. A cut title is whole in its tooltip.
TEST(ChatRowDelegate, DrawsATitleOnOneLineFromItsOwnSideAndACutOneWholeInItsTooltip) {
    const QString longTitle = QString("Hello world ").repeated(30).trimmed();
    const QString longHebrew = QString("שלום עולם ").repeated(30).trimmed();
    // A title, as a row holds it, whether it runs right to left and whether it is cut.
    const std::tuple<QString, QString, bool, bool> rows[] = {
        {"Hi\ntwo\r\nthree\u2028four\u0085five.", "Hi two three four five.", false, false},
        {"שלום עולם.", "שלום עולם.", true, false},
        {longTitle, longTitle, false, true},
        {longHebrew, longHebrew, true, true},
    };
    QStringListModel titles;
    QTableView view;
    ChatRowDelegate delegate;
    view.setModel(&titles);
    view.setItemDelegate(&delegate);
    view.setShowGrid(false);
    view.verticalHeader()->hide();
    view.resize(340, 200);
    view.show();
    for (const auto& [title, shown, rightToLeft, cut] : rows) {
        SCOPED_TRACE(title.toStdString());
        titles.setStringList({title});
        view.setColumnWidth(0, 300);
        EXPECT_EQ(delegate.displayText(title, QLocale()), shown);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = view.visualRect(titles.index(0));
        const QImage image = view.viewport()->grab(option.rect).toImage();
        std::vector<int> ink(300);
        for (int x = 0; x < 300; ++x)
            for (int y = 0; y < image.height(); ++y)
                ink[x] += qGray(image.pixel(x, y)) < 128;
        const auto inked = [](int rows) { return rows > 0; };
        const int left = std::find_if(ink.begin(), ink.end(), inked) - ink.begin();
        const int right = ink.rend() - std::find_if(ink.rbegin(), ink.rend(), inked) - 1;
        const auto [start, end] = rightToLeft ? std::pair(right, left) : std::pair(left, right);
        const int inwards = rightToLeft ? -1 : 1;
        EXPECT_LT(rightToLeft ? 299 - start : start, 12) << left << " " << right;
        EXPECT_EQ((rightToLeft ? end : 299 - end) < 24, cut) << left << " " << right;
        // A letter begins the title; a dot or "…" ends it.
        EXPECT_GT(std::max(ink[start], ink[start + inwards]),
                  std::max(ink[end], ink[end - inwards]) + 2);
        QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), view.mapToGlobal(QPoint(10, 10)));
        EXPECT_TRUE(delegate.helpEvent(&help, &view, option, titles.index(0)));
        EXPECT_EQ(QToolTip::text(), cut ? wholeTextTip(shown) : QString());
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    }
}

} // namespace
} // namespace tovin::test

#include "ShareViewControllerTests.moc"
