#include "intake/FileURL.h"
#include "intake/StreamItemProvider.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"
#include "shared/PosixFileManager.h"
#include "shared/Version.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"
#include "tovin-share/CommandLineShareRequest.h"
#include "tovin-share/Display.h"
#include "tovin-share/SessionBus.h"
#include "tovin-share/ShareCommandLine.h"
#include "tovin-share/TemporaryFileRecorder.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QLocalServer>
#include <QMimeData>
#include <QProcess>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using share::Arguments;
using share::Attachments;
using share::LeftOut;
using testing::FakeEnvironment;

// A name that is not UTF-8, with what a URL must escape besides.
const std::string latin1Name = "caf\xe9 #1 100%.txt";
const std::string latin1NameInURL = "caf%E9%20%231%20100%25.txt";

LoadedItem loaded(const ItemProvider& provider, std::string_view type) {
    std::promise<LoadedItem> delivered;
    provider.loadItem(
        type, ItemCompletion([&](LoadedItem item) { delivered.set_value(std::move(item)); }));
    return delivered.get_future().get();
}

// The path that the sheet copies for a file attachment.
fs::path copiedPath(const ItemProvider& provider) {
    return localPath(std::get<QUrl>(loaded(provider, TypeIdentifier::fileURL).item));
}

std::vector<std::string> commandLine(const std::vector<std::string>& arguments) {
    std::vector<std::string> line{"tovin-share"};
    line.insert(line.end(), arguments.begin(), arguments.end());
    return line;
}

// What a command line asks to share: the text, the clipboard and the ITEMs in order.
TEST(ShareCommandLine, ReadsTheTextTheClipboardAndEachItemInOrder) {
    const testing::TemporaryFolder folder;
    std::ofstream(folder / latin1Name) << "x";
    const fs::path file = folder / latin1Name;
    const LeftOut gone{"--text", "it no longer exists"};
    struct Row {
        const char* what;
        std::vector<std::string> arguments;
        std::optional<QString> text;
        bool clipboard;
        std::vector<share::Item> items;
    };
    const Row rows[] = {
        {"nothing", {}, std::nullopt, false, {}},
        {"--text TEXT", {"--text", "hi"}, "hi", false, {}},
        {"--text=TEXT, spaces kept", {"--text= x  y "}, " x  y ", false, {}},
        {"an empty text is still given", {"--text="}, "", false, {}},
        {"a text that is not UTF-8", {"--text", "caf\xe9"}, "caf\uFFFD", false, {}},
        {"--clipboard after an ITEM",
         {"-", "--clipboard"},
         std::nullopt,
         true,
         {share::StandardInput{}}},
        {"a name that is not UTF-8, as its bytes",
         {file.native(), "-"},
         std::nullopt,
         false,
         {file, share::StandardInput{}}},
        {"after --, an option is an ITEM",
         {"--", "--text", "-"},
         std::nullopt,
         false,
         {gone, share::StandardInput{}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto parsed = share::parse(commandLine(row.arguments));
        const auto* arguments = std::get_if<Arguments>(&parsed);
        EXPECT_NE(arguments, nullptr);
        if (arguments == nullptr)
            continue;
        EXPECT_EQ(arguments->text, row.text);
        EXPECT_EQ(arguments->clipboard, row.clipboard);
        EXPECT_EQ(arguments->items, row.items);
    }
}

// Help and the version go to standard output and complete; a wrong command line is a usage
// error, the option named as it was given.
TEST(ShareCommandLine, AnswersHelpVersionAndMisuseWithTheirStatus) {
    const std::tuple<const char*, std::vector<std::string>, int, QString> rows[] = {
        {"--help", {"--help", "-"}, share::completed, "\n\"Nothing to share.\" and Send"},
        {"-h",
         {"-h"},
         share::completed,
         "Usage: tovin-share [--text TEXT] [--clipboard] [ITEM...]\n"},
        {"--version",
         {"--version"},
         share::completed,
         "tovin-share " + QString::fromUtf8(version) + "\n"},
        {"an unknown option",
         {"--bogus"},
         share::misuse,
         "tovin-share: Unknown option 'bogus'.\nusage: tovin-share ["},
        {"an unknown option that is not UTF-8",
         {"--caf\xe9"},
         share::misuse,
         "Unknown option 'caf\uFFFD'."},
        {"--text without its value", {"--text"}, share::misuse, "Missing value after '--text'."},
        {"--text twice",
         {"--text=a", "--text", "b"},
         share::misuse,
         "tovin-share: --text can be given once\n"},
        {"standard input twice",
         {"-", "--", "-"},
         share::misuse,
         "tovin-share: standard input (-) can be shared once\n"},
    };
    for (const auto& [what, arguments, status, said] : rows) {
        SCOPED_TRACE(what);
        const auto parsed = share::parse(commandLine(arguments));
        const auto* message = std::get_if<share::Message>(&parsed);
        EXPECT_NE(message, nullptr);
        if (message == nullptr)
            continue;
        EXPECT_EQ(message->status, status);
        EXPECT_TRUE(message->text.contains(said)) << message->text.toStdString();
    }
}

// An ITEM is the file it names, byte for byte, a link, standard input, or left out and why.
TEST(ShareCommandLine, TakesEveryNameAsBytesAndLeavesOutWhatCannotBeShared) {
    const testing::TemporaryFolder folder;
    std::ofstream(folder / latin1Name) << "x";
    std::ofstream(folder / "notes.txt") << "x";
    // A file manager that holds names as text hands these over with U+FFFD for their Latin-1.
    std::ofstream(folder / "caf\xe9 100%.txt") << "x";
    fs::create_directory(folder / "d\xe9");
    std::ofstream(folder / "d\xe9" / "notes.txt") << "x";
    std::ofstream(folder / "two\xe9") << "x";
    std::ofstream(folder / "two\xe8") << "x";
    const std::string at = folder.path().native();
    const std::pair<std::string, share::Item> rows[] = {
        {at + "/" + latin1Name, folder / latin1Name},
        {"file://" + at + "/" + latin1NameInURL, folder / latin1Name},
        {"file://localhost" + at + "/notes.txt", folder / "notes.txt"},
        {at + "/caf\uFFFD 100%.txt", folder / "caf\xe9 100%.txt"},
        {"file://" + at + "/caf%EF%BF%BD%20100%25.txt", folder / "caf\xe9 100%.txt"},
        {at + "/d\uFFFD/notes.txt", folder / "d\xe9" / "notes.txt"},
        {at + "/two\uFFFD",
         LeftOut{"two\uFFFD", "its name arrived garbled, and several files fit it"}},
        {at + "/gone.pdf", LeftOut{"gone.pdf", "it no longer exists"}},
        {"file://" + at + "/gone%E9.pdf", LeftOut{"gone\uFFFD.pdf", "it no longer exists"}},
        {at + "/notes.txt/inner", LeftOut{"inner", "a folder on its path is a file"}},
        // Remote places are no links: a share never names a file by an address.
        {"file://server/share/photo.jpg",
         LeftOut{"photo.jpg", "it is at file://server, not in a folder of this computer"}},
        {"sftp://ada@host:2222/home/r\xe9.pdf",
         LeftOut{"r\uFFFD.pdf", "it is at sftp://host:2222, not in a folder of this computer"}},
        {"SMB://nas/",
         LeftOut{"smb://nas", "it is at smb://nas, not in a folder of this computer"}},
        {"https://example.org/a b?q=\xe9", QUrl("https://example.org/a%20b?q=%E9")},
        {"mailto:ada@example.org", QUrl("mailto:ada@example.org")},
        {"-", share::StandardInput{}},
    };
    Arguments arguments{QStringLiteral("caf\uFFFD"), {}, false};
    for (const auto& [argument, item] : rows) {
        const auto* leftOut = std::get_if<LeftOut>(&item);
        EXPECT_EQ(share::readItem(argument), item)
            << argument << (leftOut ? " left out: " + leftOut->sentence().toStdString() : "");
        arguments.items.push_back(item);
    }

    // The files are copied from the bytes they were named by, the links go as they are, and
    // standard input is made only when asked for.
    int reads = 0;
    const Attachments attachments = share::attachmentsOf(arguments, [&reads] {
        ++reads;
        return makeTextProvider({});
    });
    EXPECT_EQ(reads, 1);
    ASSERT_EQ(attachments.providers.size(), 9u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(copiedPath(*attachments.providers[i]).native(),
                  std::get<fs::path>(rows[i].second).native());
    EXPECT_EQ(std::get<QUrl>(loaded(*attachments.providers[6], TypeIdentifier::url).item),
              std::get<QUrl>(rows[13].second));
    EXPECT_EQ(attachments.leftOut.size(), 7u);
    EXPECT_EQ(attachments.links,
              QStringList({"https://example.org/a%20b?q=%E9", "mailto:ada@example.org"}));
    EXPECT_EQ(attachments.texts, QStringList({"“caf\uFFFD”", "from standard input"}));
}

TEST(ShareCommandLine, TheClipboardGivesAnImageElseItsURIListElseItsText) {
    const testing::TemporaryFolder folder;
    std::ofstream(folder / latin1Name) << "x";
    QClipboard& clipboard = *QGuiApplication::clipboard();

    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(10, 200, 30, 40));
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    for (const QByteArray& bytes : {png, QByteArray("not a PNG")}) {
        auto* data = new QMimeData;
        data->setData(QStringLiteral("image/png"), bytes);
        data->setText(QStringLiteral("not this"));
        clipboard.setMimeData(data);
        const Attachments attachments = share::clipboardAttachments(clipboard);
        EXPECT_EQ(attachments.providers.size(), 1u);
        // Decoded on the worker; what does not decode goes on as the bytes it is.
        const LoadedItem::Item item =
            loaded(*attachments.providers.at(0), TypeIdentifier::image).item;
        if (bytes == png)
            EXPECT_EQ(std::get<QImage>(item).convertToFormat(QImage::Format_ARGB32), image);
        else
            EXPECT_EQ(std::get<QByteArray>(item), bytes);
    }

    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"),
                  QByteArray::fromStdString("# copied\r\nfile://" + folder.path().native() + "/" +
                                            latin1NameInURL +
                                            "\r\nsftp://h/x.pdf\r\nhttps://a.example/\r\n"
                                            "file:///gone.pdf\r\n"));
    data->setText(QStringLiteral("not this"));
    clipboard.setMimeData(data);
    const Attachments listed = share::clipboardAttachments(clipboard);
    ASSERT_EQ(listed.providers.size(), 2u);
    EXPECT_EQ(copiedPath(*listed.providers[0]).native(), (folder / latin1Name).native());
    EXPECT_EQ(std::get<QUrl>(loaded(*listed.providers[1], TypeIdentifier::url).item),
              QUrl("https://a.example/"));
    EXPECT_EQ(listed.links, QStringList("https://a.example/"));
    ASSERT_EQ(listed.leftOut.size(), 2u);
    EXPECT_EQ(listed.leftOut[1].sentence(), "Could not share “gone.pdf”: it no longer exists.");

    clipboard.setText(QString(50, u'w'));
    const Attachments text = share::clipboardAttachments(clipboard);
    ASSERT_EQ(text.providers.size(), 1u);
    EXPECT_EQ(std::get<QString>(loaded(*text.providers[0], TypeIdentifier::plainText).item),
              QString(50, u'w'));
    EXPECT_EQ(text.texts, QStringList("“" + QString(40, u'w') + "…”"));
}

// Ready once the clipboard has come; then standard error names every link but the last and
// every text but the first, and what could not be shared, which the sheet's error line says too.
TEST(CommandLineShareRequest, WaitsForTheClipboardThenNamesWhatIsLeftOut) {
    std::ostringstream diagnostics;
    Attachments given;
    given.links = {"https://a.example/", "https://b.example/"};
    given.texts = {"“Hi”"};
    share::CommandLineShareRequest request(QStringLiteral("Hi"), given, true, diagnostics);
    bool ready = false;
    request.whenReady([&] { ready = true; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(ready);
    EXPECT_EQ(diagnostics.str(), "");

    Attachments clipboard;
    clipboard.providers = {makeTextProvider(QStringLiteral("copied"))};
    clipboard.texts = {"“copied”"};
    clipboard.leftOut = {{"y.pdf", "it is at sftp://h, not in a folder of this computer"}};
    request.addClipboard(clipboard);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ready);
    EXPECT_EQ(request.inputItems().front().attachments.size(), 1u);
    const std::string leftOut =
        "Could not share “y.pdf”: it is at sftp://h, not in a folder of this computer.";
    EXPECT_EQ(request.leftOut().toStdString(), leftOut);
    EXPECT_EQ(diagnostics.str(), "tovin-share: " + leftOut +
                                     "\ntovin-share: left out the link https://a.example/: a share "
                                     "holds one link, the last one given\ntovin-share: left out "
                                     "the text “copied”: a share holds one text, the first one "
                                     "given\n");
}

// Standard input gives its bytes whole, as text, an image or a file named after its type, and
// is a text left out beside --text only if it reads as text once it has ended: until then a
// stream may be anything.
TEST(CommandLineShareRequest, GivesStandardInputWholeAndNamesItALeftOutTextOnlyOnceItReadsAsOne) {
    const testing::TemporaryFolder folder;
    const auto environment = std::make_shared<FakeEnvironment>();
    environment->variables["TMPDIR"] = folder.path();
    QByteArray png;
    QBuffer buffer(&png);
    QImage(5, 4, QImage::Format_RGB32).save(&buffer, "PNG");
    const std::string leftOutText = "tovin-share: left out the text from standard input: a share "
                                    "holds one text, the first one given\n";
    // What is piped, the type it is then shared as, and what standard error says.
    const std::tuple<const char*, std::string, std::string_view, std::string> rows[] = {
        {"text, longer than one read", std::string(100000, 'w') + "\n", TypeIdentifier::plainText,
         leftOutText},
        {"an image", png.toStdString(), TypeIdentifier::image, ""},
        {"a PDF", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\ntrailer\n", TypeIdentifier::fileURL, ""},
    };
    for (const auto& [what, piped, type, said] : rows) {
        SCOPED_TRACE(what);
        std::array<int, 2> ends{};
        EXPECT_EQ(::pipe(ends.data()), 0);
        const Attachments attachments = share::attachmentsOf(
            Arguments{QStringLiteral("Hi"), {share::StandardInput{}}, false}, [&] {
                return std::make_shared<StreamItemProvider>(
                    FileDescriptor(ends[0]), std::make_shared<PosixFileManager>(environment),
                    std::make_shared<testing::CountingUUIDSource>());
            });
        std::ostringstream diagnostics;
        const share::CommandLineShareRequest request(QStringLiteral("Hi"), attachments, false,
                                                     diagnostics);
        std::thread writer([&, in = FileDescriptor(ends[1])] { EXPECT_TRUE(in.writeAll(piped)); });
        // Answered after the request, which asked first.
        const auto& provider = *request.inputItems().front().attachments.at(0);
        const LoadedItem::Item item = loaded(provider, type).item;
        writer.join();
        QCoreApplication::processEvents();
        EXPECT_EQ(diagnostics.str(), said);
        if (const auto* text = std::get_if<QByteArray>(&item))
            EXPECT_EQ(text->toStdString(), piped);
        else
            EXPECT_EQ(PosixFileManager().readFile(localPath(std::get<QUrl>(item))), piped);
        fs::remove_all(folder.path());
        fs::create_directory(folder.path());
    }
}

TEST(CommandLineShareRequest, TheFirstEndIsTheExitStatusAndACompletedOneKeepsTheSharesID) {
    for (const bool completeFirst : {true, false}) {
        std::ostringstream diagnostics;
        share::CommandLineShareRequest request(QStringLiteral("text"), {}, false, diagnostics);
        // Ended before the loop runs, as a sheet that ends at once would.
        if (completeFirst)
            request.complete("FIRST");
        request.cancel(std::make_error_code(std::errc::operation_canceled));
        request.complete("LATER");
        EXPECT_EQ(QCoreApplication::exec(), completeFirst ? share::completed : share::cancelled);
        EXPECT_EQ(request.queuedShareID(),
                  completeFirst ? std::optional<std::string>("FIRST") : std::nullopt);
    }
}

// A bus is silent when it takes the connection and says nothing within the time given; whatever
// refuses, is not there or cannot be asked here is not.
TEST(SessionBus, IsSilentWhenItTakesTheConnectionAndSaysNothing) {
    testing::TemporaryFolder folder;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(QString::fromStdString(folder / "bus")));
    QLocalServer abstractSilent;
    abstractSilent.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(abstractSilent.listen(QString::fromStdString(folder / "abstract bus")));
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForReadyRead(10000));
    const std::string running = daemon.readLine().trimmed().toStdString();
    const std::string path = "unix:path=" + (folder / "bus").string();
    const std::pair<std::optional<std::string>, bool> rows[] = {
        {running, false},
        {path, true},
        {"unix:abstract=" + (folder / "abstract%20bus").string(), true},
        {"unix:path=/nonexistent/bus;" + path, true},
        {"unix:path=/nonexistent/bus", false},
        {"tcp:host=localhost,port=1", false},
        {"", true}, // the one in XDG_RUNTIME_DIR
        {std::nullopt, true},
    };
    for (const auto& [address, isSilent] : rows) {
        SCOPED_TRACE(address.value_or("unset"));
        FakeEnvironment environment;
        environment.variables["XDG_RUNTIME_DIR"] = folder.path();
        if (address)
            environment.variables["DBUS_SESSION_BUS_ADDRESS"] = *address;
        QElapsedTimer probing;
        probing.start();
        EXPECT_EQ(share::sessionBusIsSilent(environment, std::chrono::milliseconds(200)), isSilent);
        EXPECT_LT(probing.elapsed(), 1000);
    }
    daemon.terminate();
    daemon.waitForFinished();
}

// What the run made directly in the temporary folder goes at its end, and nothing is made there
// after it; what it made elsewhere stays.
TEST(TemporaryFileRecorder, RemovesWhatTheRunMadeInTheTemporaryFolderAndRefusesMore) {
    testing::TemporaryFolder folder;
    const auto environment = std::make_shared<FakeEnvironment>();
    environment->variables["TMPDIR"] = folder.path();
    share::TemporaryFileRecorder files(std::make_shared<PosixFileManager>(environment));
    files.createPrivateDirectory(folder / "tovin-share-1");
    files.createPrivateFile(folder / "tovin-share-1" / "shared.pdf");
    files.createPrivateFile(folder / "tovin-share-2");
    fs::create_directory(folder / "elsewhere");
    files.createPrivateFile(folder / "elsewhere" / "kept");
    files.removeRecorded();
    EXPECT_EQ(files.contentsOfDirectory(folder.path()), std::vector{folder / "elsewhere"});
    try {
        files.createPrivateFile(folder / "tovin-share-3");
        ADD_FAILURE() << "created after the end";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.code(), std::errc::operation_canceled);
    }
    EXPECT_FALSE(fs::exists(folder / "tovin-share-3"));
}

// Off Wayland, once the window has drawn itself; once only.
TEST(Display, TheClipboardIsReadOnceTheWindowIsOnScreen) {
    QWidget window;
    int reads = 0;
    share::whenClipboardReadable(window, [&] { ++reads; });
    QCoreApplication::processEvents();
    EXPECT_EQ(reads, 0);
    window.show();
    for (int turn = 0; turn < 100 && reads == 0; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        window.update();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(reads, 1);
}

TEST(Display, IsTheFirstNamedPlatformWithAPluginAndADisplayElseOneLineSaysWhy) {
    const std::pair<std::map<std::string, std::string, std::less<>>, QString> rows[] = {
        {{{"QT_QPA_PLATFORM", "bogus"}}, "Qt has no platform plugin \"bogus\""},
        {{{"QT_QPA_PLATFORM", "bogus;offscreen"}}, ""},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":4711"}},
         "DISPLAY names no X server that answers"},
        {{{"WAYLAND_DISPLAY", "wayland-none"}, {"XDG_RUNTIME_DIR", "/nowhere"}},
         "WAYLAND_DISPLAY names no compositor that answers; DISPLAY names no X server that "
         "answers"},
    };
    for (const auto& [variables, why] : rows) {
        testing::FakeEnvironment environment;
        environment.variables = variables;
        const auto display = share::reachableDisplay(environment);
        const auto* reached = std::get_if<share::ReachableDisplay>(&display);
        const auto* problem = std::get_if<QString>(&display);
        EXPECT_EQ(reached ? reached->platform() : *problem,
                  why.isEmpty() ? "offscreen" : "no display to show the sheet on: " + why);
    }
}

// Centred on the 800 × 800 screen of the tests where it fits; made smaller where it does not, as
// far as its controls let it, and never above or left of the screen.
TEST(Display, PresentKeepsTheWindowOnItsScreen) {
    // A window's size, the size its controls need, then the size and the frame it gets.
    const std::tuple<QSize, QSize, QSize, QRect> cases[] = {
        {{460, 520}, {9, 9}, {460, 520}, {168, 138, 464, 524}},
        {{460, 1040}, {9, 9}, {460, 796}, {168, 0, 464, 800}},
        {{1000, 900}, {900, 850}, {900, 850}, {0, 0, 904, 854}},
    };
    for (const auto& [size, least, given, frame] : cases) {
        QWidget window;
        auto* controls = new QWidget;
        controls->setMinimumSize(least);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins({});
        layout->addWidget(controls);
        window.setFixedSize(size);
        share::present(window);
        EXPECT_EQ(window.size(), given);
        EXPECT_EQ(window.frameGeometry(), frame);
    }
}

} // namespace
} // namespace tovin

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // No display, even when the build lists the tests.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
