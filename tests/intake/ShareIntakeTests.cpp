#include "TestSupport.h"
#include "intake/ShareIntake.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"

#include <QImage>
#include <QTimer>

namespace tovin {
namespace {

using namespace std::chrono_literals;
using test::deliver;
using test::FakeProvider;
namespace Type = TypeIdentifier;

// The sheet's side of the intake, checking that the content is only touched on the main thread.
class Owner final : public SharedContentOwner {
public:
    SharedContent& sharedContent() override {
        EXPECT_TRUE(test::onMainThread());
        return content;
    }
    void updateSummary() override {
        EXPECT_TRUE(test::onMainThread());
        ++summaries;
    }

    SharedContent content;
    int summaries = 0;
};

class ShareIntakeWalk : public testing::Test {
protected:
    void walk(std::optional<std::vector<InputItem>> items) {
        ShareIntake intake(owner, folder.fileManager, std::make_shared<RandomUUIDSource>());
        QCoro::waitFor(intake.loadSharedItems(std::move(items)));
    }

    static InputItem item(std::optional<QString> text,
                          std::vector<std::shared_ptr<const ItemProvider>> attachments = {}) {
        return {std::move(text), std::move(attachments)};
    }

    static std::shared_ptr<FakeProvider> fake(std::vector<std::string> types,
                                              std::map<std::string, test::Answer> answers) {
        return std::make_shared<FakeProvider>(std::move(types), std::move(answers));
    }

    Owner owner;
    test::TemporaryFolder folder;
};

TEST_F(ShareIntakeWalk, WithoutARequestNothingHappens) {
    walk(std::nullopt);
    EXPECT_EQ(owner.content, SharedContent{});
    EXPECT_EQ(owner.summaries, 0);

    walk(std::vector<InputItem>{});
    EXPECT_EQ(owner.content, SharedContent{});
    EXPECT_EQ(owner.summaries, 1);
}

TEST_F(ShareIntakeWalk, TheFirstTextStays) {
    walk(std::vector{item("", {makeTextProvider("from attachment")}), item("second")});
    EXPECT_EQ(owner.content.sharedText, "from attachment");

    owner = {};
    walk(std::vector{item("  "), item("T2", {makeTextProvider("T3")})});
    EXPECT_EQ(owner.content.sharedText, "  ");

    owner = {};
    walk(std::vector{item(std::nullopt, {makeTextProvider(""), makeTextProvider("later")})});
    EXPECT_EQ(owner.content.sharedText, "");
    EXPECT_EQ(owner.summaries, 1);
}

TEST_F(ShareIntakeWalk, TheLastLinkWinsAndFilesAreListedInOrderWithDuplicates) {
    walk(std::vector{
        item("text", {makeURLProvider(QUrl("https://one.example/")),
                      makeFileProvider("/tmp/photo.png"), makeFileProvider("/tmp/report.pdf")}),
        item(std::nullopt,
             {makeFileProvider("/tmp/SCAN.JPG"), makeFileProvider("/tmp/photo.png"),
              makeFileProvider("/tmp/README"), makeURLProvider(QUrl("https://two.example/a b"))}),
    });
    const auto file = [](const char* path) { return QUrl::fromLocalFile(path); };
    EXPECT_EQ(owner.content.sharedText, "text");
    EXPECT_EQ(owner.content.sharedURL, "https://two.example/a%20b");
    EXPECT_EQ(owner.content.sharedImageURLs,
              (std::vector{file("/tmp/photo.png"), file("/tmp/SCAN.JPG"), file("/tmp/photo.png")}));
    EXPECT_EQ(owner.content.sharedFileURLs,
              (std::vector{file("/tmp/report.pdf"), file("/tmp/README")}));
}

TEST_F(ShareIntakeWalk, ImagesHeldInMemoryBecomeFiles) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    walk(std::vector{item(std::nullopt, {makeImageProvider(image),
                                         makeDataProvider("GIF89a", std::string(Type::png)),
                                         makeDataProvider("%PDF-1.7", "application/pdf")})});
    ASSERT_EQ(owner.content.sharedImageURLs.size(), 2u);
    EXPECT_TRUE(owner.content.sharedImageURLs[0].toLocalFile().endsWith(".png"));
    EXPECT_FALSE(owner.content.sharedImageURLs[1].toLocalFile().endsWith(".png"));
    EXPECT_EQ(folder.files().size(), 2u);
    EXPECT_EQ(owner.content.sharedFileURLs, std::vector<QUrl>{});
}

TEST_F(ShareIntakeWalk, AFailedLoaderHandsTheAttachmentToTheNextKind) {
    const auto failure = test::fail(std::make_error_code(std::errc::io_error));
    const QUrl picture("file:///tmp/picture");
    const auto fileThenImage =
        fake({std::string(Type::fileURL), std::string(Type::png)},
             {{"public.file-url", failure}, {"public.image", deliver(picture)}});
    const auto fileThenURL =
        fake({std::string(Type::fileURL)}, {{"public.file-url", deliver(OtherObject{})},
                                            {"public.url", deliver(QUrl("file:///tmp/as-link"))}});
    const auto nothingFits = fake({std::string(Type::fileURL), std::string(Type::plainText)}, {});
    walk(std::vector{item(std::nullopt, {fileThenImage, fileThenURL, nothingFits})});

    EXPECT_EQ(fileThenImage->requests(),
              (std::vector<std::string>{"public.file-url", "public.image"}));
    EXPECT_EQ(fileThenURL->requests(), (std::vector<std::string>{"public.file-url", "public.url"}));
    EXPECT_EQ(nothingFits->requests(),
              (std::vector<std::string>{"public.file-url", "public.url", "public.plain-text"}));
    EXPECT_EQ(owner.content, (SharedContent{std::nullopt, "file:///tmp/as-link", {picture}, {}}));
    EXPECT_EQ(owner.summaries, 1);
}

TEST_F(ShareIntakeWalk, LoadsOneAtATimeWhileTheEventLoopKeepsTurning) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5ms);

    std::vector<int> ticksAtLoad;
    std::vector<std::shared_ptr<const ItemProvider>> slow;
    for (const char* text : {"one", "two", "three"}) {
        auto provider = fake({std::string(Type::plainText)},
                             {{"public.plain-text", {{LoadedItem{QString(text)}}, 100ms}}});
        provider->onLoad = [&] { ticksAtLoad.push_back(ticks); };
        slow.push_back(provider);
    }
    walk(std::vector{item(std::nullopt, slow)});

    ASSERT_EQ(ticksAtLoad.size(), 3u);
    // A load starts only after the one before has been waited out, with the loop running.
    EXPECT_GE(ticksAtLoad[1] - ticksAtLoad[0], 5);
    EXPECT_GE(ticksAtLoad[2] - ticksAtLoad[1], 5);
    EXPECT_EQ(owner.content.sharedText, "one");
}

} // namespace
} // namespace tovin
