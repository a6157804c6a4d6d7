#include "app/CommandLineShareRequest.h"
#include "app/Display.h"
#include "app/ShareCommandLine.h"
#include "intake/TypeRegistry.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using share::Arguments;

// Whether the provider offers the types and not the others.
void expectOffers(const ItemProvider& provider, std::initializer_list<std::string_view> types,
                  std::initializer_list<std::string_view> others) {
    for (const std::string_view type : types)
        EXPECT_TRUE(provider.hasItemConformingTo(type)) << type;
    for (const std::string_view type : others)
        EXPECT_FALSE(provider.hasItemConformingTo(type)) << type;
}

TEST(ShareCommandLine, TheInputItemHoldsTheItemsThenTheClipboard) {
    using namespace TypeIdentifier;
    QBuffer standardInput;
    standardInput.setData("not an image\n");
    standardInput.open(QIODevice::ReadOnly);
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setImage(QImage(3, 3, QImage::Format_ARGB32));
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
    expectOffers(*input.attachments[2], {utf8PlainText}, {image, url});
    expectOffers(*input.attachments[3], {image}, {url, plainText});

    auto* urls = new QMimeData;
    urls->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b")),
                   QUrl(QStringLiteral("https://example.org"))});
    urls->setText(QStringLiteral("not this"));
    clipboard.setMimeData(urls);
    const InputItem fromURLs =
        share::makeInputItem(Arguments{{}, {}, true}, standardInput, clipboard);
    ASSERT_EQ(fromURLs.attachments.size(), 2u);
    expectOffers(*fromURLs.attachments[0], {fileURL}, {plainText});
    expectOffers(*fromURLs.attachments[1], {url}, {fileURL});

    clipboard.setText(QStringLiteral("copied"));
    const InputItem fromText =
        share::makeInputItem(Arguments{{}, {}, true}, standardInput, clipboard);
    ASSERT_EQ(fromText.attachments.size(), 1u);
    expectOffers(*fromText.attachments[0], {plainText}, {url, image});
}

TEST(CommandLineShareRequest, TheFirstEndIsTheExitStatus) {
    for (const bool completeFirst : {true, false}) {
        share::CommandLineShareRequest request(InputItem{QStringLiteral("text"), {}});
        // Ended before the loop runs, as a sheet that ends at once would.
        if (completeFirst)
            request.complete();
        request.cancel(std::make_error_code(std::errc::operation_canceled));
        request.complete();
        EXPECT_EQ(QCoreApplication::exec(), completeFirst ? share::completed : share::cancelled);
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
