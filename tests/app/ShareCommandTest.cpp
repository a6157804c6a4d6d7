#include "app/CommandLineShareRequest.h"
#include "app/SessionBus.h"
#include "app/ShareCommandLine.h"
#include "app/TemporaryFileRecorder.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"
#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QLocalServer>
#include <QMimeData>
#include <QProcess>
#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using share::Arguments;
using testing::FakeEnvironment;

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
