#include "app/CommandLineShareRequest.h"
#include "app/ShareCommandLine.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
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
    // Standard input is made only when asked for, and read by the intake.
    int reads = 0;
    const share::StandardInputProvider standardInput = [&reads] {
        ++reads;
        return makeTextProvider(QStringLiteral("read"));
    };
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
    expectOffers(*input.attachments[2], {plainText}, {image, url});
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
    EXPECT_EQ(reads, 1);
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

} // namespace
} // namespace tovin

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // No display, even when the build lists the tests.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
