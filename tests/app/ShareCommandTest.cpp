#include "app/CommandLineShareRequest.h"
#include "app/Display.h"
#include "app/ShareCommandLine.h"
#include "intake/TypeRegistry.h"
#include "shared/FileDescriptor.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QScreen>
#include <QWidget>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using share::Arguments;
using share::Message;

std::variant<Arguments, Message> parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("tovin-share"));
    return share::parse(arguments);
}

QString path(const fs::path& file) {
    return QString::fromStdString(file.string());
}

TEST(ShareCommandLine, EachItemIsAFileALinkOrStandardInput) {
    const testing::TemporaryFolder folder;
    const fs::path odd = folder / "a \"quoted\"\nname's.txt";
    std::ofstream(odd) << "x";
    const auto url = [](const char* text) { return QUrl(QString::fromUtf8(text)); };

    const auto parsed = parse(
        {QStringLiteral("--text"), QStringLiteral("Hello"), path(odd), path(folder.path()),
         QUrl::fromLocalFile(path(odd)).toString(QUrl::FullyEncoded),
         QUrl::fromLocalFile(path(odd)).toString(),
         QStringLiteral("file://localhost/tmp/gone%20away"),
         QStringLiteral("https://example.org/a?b=c"), QStringLiteral("mailto:ines@example.org"),
         QStringLiteral("-"), QStringLiteral("--clipboard"), QStringLiteral("--"),
         QStringLiteral("https://example.org/--")});
    ASSERT_TRUE(std::holds_alternative<Arguments>(parsed))
        << std::get<Message>(parsed).text.toStdString();
    const Arguments& arguments = std::get<Arguments>(parsed);
    EXPECT_EQ(arguments.text, QStringLiteral("Hello"));
    EXPECT_TRUE(arguments.clipboard);
    const std::vector<share::Item> expected{odd,
                                            folder.path(),
                                            odd,
                                            odd,
                                            fs::path("/tmp/gone away"),
                                            url("https://example.org/a?b=c"),
                                            url("mailto:ines@example.org"),
                                            share::StandardInput{},
                                            url("https://example.org/--")};
    EXPECT_EQ(arguments.items, expected);

    const auto nothing = parse({});
    ASSERT_TRUE(std::holds_alternative<Arguments>(nothing));
    EXPECT_TRUE(std::get<Arguments>(nothing).items.empty());
}

TEST(ShareCommandLine, MisuseNamesTheProblemAndHelpSaysWhatHappens) {
    // Each command line, and what its message must say.
    for (const auto& [line, problem] : std::vector<std::pair<QStringList, QString>>{
             {{QStringLiteral("no such photo.jpg")},
              QStringLiteral("\"no such photo.jpg\" is neither")},
             {{QStringLiteral("line\nbreak")}, QStringLiteral("\"line break\" is neither")},
             {{QStringLiteral("file://server/share/photo.jpg")},
              QStringLiteral("another computer")},
             {{QStringLiteral("-"), QStringLiteral("-")}, QStringLiteral("standard input")},
             {{QStringLiteral("--text=a"), QStringLiteral("--text=b")}, QStringLiteral("once")},
             {{QStringLiteral("--text")}, QStringLiteral("Missing value after '--text'")},
             {{QStringLiteral("--paste")}, QStringLiteral("Unknown option 'paste'")}}) {
        const auto parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<Message>(parsed)) << line.join(u' ').toStdString();
        const Message& message = std::get<Message>(parsed);
        EXPECT_EQ(message.status, share::misuse);
        EXPECT_TRUE(message.text.startsWith(QStringLiteral("tovin-share: ")) &&
                    message.text.contains(problem) &&
                    message.text.contains(QStringLiteral("\nusage: tovin-share [--text TEXT]")))
            << message.text.toStdString();
    }

    const auto help = std::get<Message>(parse({QStringLiteral("-h")}));
    EXPECT_EQ(help.status, share::completed);
    EXPECT_TRUE(help.text.startsWith(
        QStringLiteral("Usage: tovin-share [--text TEXT] [--clipboard] [ITEM...]\n")));
    EXPECT_TRUE(help.text.contains(QStringLiteral("\"Nothing to share.\"")) &&
                help.text.contains(QStringLiteral("Exit status: 0")) &&
                help.text.contains(QStringLiteral("--clipboard")))
        << help.text.toStdString();
    const auto version = std::get<Message>(parse({QStringLiteral("--version")}));
    EXPECT_TRUE(version.text.startsWith(QStringLiteral("tovin-share ")) &&
                version.status == share::completed);
}

// Whether the provider offers the types and not the others.
void expectOffers(const ItemProvider& provider, std::initializer_list<std::string_view> types,
                  std::initializer_list<std::string_view> others) {
    for (const std::string_view type : types)
        EXPECT_TRUE(provider.hasItemConformingTo(type)) << type;
    for (const std::string_view type : others)
        EXPECT_FALSE(provider.hasItemConformingTo(type)) << type;
}

TEST(ShareCommandLine, TheInputItemHoldsTheItemsThenTheClipboard) {
    QByteArray png;
    QBuffer encoded(&png);
    QImage(2, 2, QImage::Format_RGB32).save(&encoded, "PNG");
    QBuffer standardInput(&png);
    standardInput.open(QIODevice::ReadOnly);
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setImage(QImage(3, 3, QImage::Format_ARGB32));

    using namespace TypeIdentifier;
    const InputItem input = share::makeInputItem(
        Arguments{QStringLiteral("Hi"),
                  {fs::path("relative.txt"), QUrl(QStringLiteral("https://example.org")),
                   share::StandardInput{}},
                  true},
        standardInput, clipboard);
    EXPECT_EQ(input.contentText, QStringLiteral("Hi"));
    ASSERT_EQ(input.attachments.size(), 4u);
    expectOffers(*input.attachments[0], {fileURL}, {image, plainText});
    expectOffers(*input.attachments[1], {url}, {fileURL, image});
    expectOffers(*input.attachments[2], {"image/png", image}, {plainText, url});
    expectOffers(*input.attachments[3], {image}, {url, plainText});

    auto* urls = new QMimeData;
    urls->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b")),
                   QUrl(QStringLiteral("https://example.org"))});
    urls->setText(QStringLiteral("not this"));
    clipboard.setMimeData(urls);
    QBuffer text;
    text.setData("not an image\n");
    text.open(QIODevice::ReadOnly);
    const InputItem fromURLs =
        share::makeInputItem(Arguments{{}, {share::StandardInput{}}, true}, text, clipboard);
    ASSERT_EQ(fromURLs.attachments.size(), 3u);
    expectOffers(*fromURLs.attachments[0], {utf8PlainText}, {image, url});
    expectOffers(*fromURLs.attachments[1], {fileURL}, {plainText});
    expectOffers(*fromURLs.attachments[2], {url}, {fileURL});

    clipboard.setText(QStringLiteral("copied"));
    QBuffer unread;
    unread.open(QIODevice::ReadOnly);
    const InputItem fromText = share::makeInputItem(Arguments{{}, {}, true}, unread, clipboard);
    ASSERT_EQ(fromText.attachments.size(), 1u);
    expectOffers(*fromText.attachments[0], {plainText}, {url, image});
    EXPECT_TRUE(share::makeInputItem(Arguments{}, unread, clipboard).attachments.empty());
}

TEST(CommandLineShareRequest, TheFirstEndIsTheExitStatus) {
    for (const bool completeFirst : {true, false}) {
        share::CommandLineShareRequest request(InputItem{QStringLiteral("text"), {}});
        EXPECT_EQ(request.inputItems().size(), 1u);
        // Ended before the loop runs, as a sheet that ends at once would.
        if (completeFirst)
            request.complete();
        request.cancel(std::make_error_code(std::errc::operation_canceled));
        request.complete();
        EXPECT_EQ(QCoreApplication::exec(), completeFirst ? share::completed : share::cancelled);
    }
}

// A Wayland socket that answers, for as long as it lives.
struct ListeningSocket {
    explicit ListeningSocket(const fs::path& path)
        : socket(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.native().copy(address.sun_path, sizeof address.sun_path - 1);
        if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(socket.get(), 4) != 0)
            throw std::runtime_error("cannot listen on " + path.string());
    }
    FileDescriptor socket;
};

TEST(Display, ThePlatformIsOneWhoseDisplayAnswers) {
    const testing::TemporaryFolder folder;
    const ListeningSocket compositor(folder / "wayland-1");
    std::ofstream(folder / "wayland-stale") << "";
    const std::string runtime = folder.path().string();
    using Variables = std::map<std::string, std::string, std::less<>>;
    // Each environment, and the platform to start in it.
    for (const auto& [variables, platform] : std::vector<std::pair<Variables, std::string>>{
             {{}, ""},
             {{{"DISPLAY", ":4711"}}, ""},
             {{{"WAYLAND_DISPLAY", "wayland-1"}}, ""},
             {{{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_RUNTIME_DIR", runtime}}, "wayland"},
             {{{"WAYLAND_DISPLAY", runtime + "/wayland-1"}, {"DISPLAY", ":4711"}}, "wayland"},
             {{{"WAYLAND_DISPLAY", "wayland-stale"}, {"XDG_RUNTIME_DIR", runtime}}, ""},
             {{{"WAYLAND_SOCKET", "5"}}, "wayland"},
             {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", runtime + "/wayland-1"}}, ""},
             {{{"QT_QPA_PLATFORM", "xcb;offscreen"}, {"DISPLAY", ":4711"}}, "offscreen"},
             {{{"QT_QPA_PLATFORM", ""}, {"WAYLAND_SOCKET", "5"}}, "wayland"}}) {
        testing::FakeEnvironment environment;
        environment.variables = variables;
        const std::optional<share::ReachableDisplay> chosen = share::reachableDisplay(environment);
        EXPECT_EQ(chosen ? chosen->platform().toStdString() : "", platform)
            << (variables.empty() ? "" : variables.begin()->first);
    }
}

TEST(Display, TheWindowOpensCentredAndActive) {
    QWidget window;
    window.setFixedSize(460, 520);
    share::present(window);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    // Placed before the window system adds its frame, whose margins may tip it by a pixel or two.
    const QPoint offCentre = window.frameGeometry().center() -
                             QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 4) << offCentre.x() << ", " << offCentre.y();
    EXPECT_TRUE(window.isActiveWindow());
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
