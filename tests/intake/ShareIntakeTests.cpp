#include "TestSupport.h"
#include "intake/ShareIntake.h"
#include "intake/ValueItemProvider.h"

#include <QImage>

namespace tovin::test {
namespace {

using namespace std::chrono_literals;
using Items = std::vector<InputItem>;
using Types = std::vector<std::string>;

std::shared_ptr<FakeProvider> fake(Answers answers) {
    return std::make_shared<FakeProvider>(std::move(answers));
}

// The sheet's side of the intake, which must only be touched on the main thread.
class Owner final : public SharedContentOwner {
public:
    SharedContent& sharedContent() override {
        EXPECT_TRUE(onMainThread());
        return content;
    }
    void updateSummary() override {
        EXPECT_TRUE(onMainThread());
        ++summaries;
    }

    SharedContent content;
    int summaries = 0;
};

class ShareIntakeWalk : public IntakeTest {
protected:
    void walk(std::optional<Items> items) {
        owner = std::make_unique<Owner>();
        ShareIntake intake(*owner, fileManager, uuids);
        QCoro::waitFor(intake.loadSharedItems(std::move(items)));
    }

    std::unique_ptr<Owner> owner;
};

TEST_F(ShareIntakeWalk, FilesTheFirstTextTheLastLinkAndEveryFileInOrderThenTheSummaryOnce) {
    const auto file = [](const char* path) { return makeFileProvider(path); };
    walk(Items{
        {"",
         {makeTextProvider("attached"), makeURLProvider(QUrl("https://one.example/")),
          file("/tmp/photo.png"), file("/tmp/report.pdf"), file("/tmp/.png")}},
        {"second",
         {file("/tmp/SCAN.JPG"), file("/tmp/photo.png"), file("/tmp.d/README"), file("/tmp/a.webp"),
          file("/tmp/a.png.txt"), makeURLProvider(QUrl("https://two.example/a b"))}}});
    // A file is an image by the text after the last dot of its name.
    const auto url = [](const char* path) { return QUrl::fromLocalFile(path); };
    EXPECT_EQ(owner->content, (SharedContent{"attached",
                                             "https://two.example/a%20b",
                                             {url("/tmp/photo.png"), url("/tmp/SCAN.JPG"),
                                              url("/tmp/photo.png"), url("/tmp/a.webp")},
                                             {url("/tmp/report.pdf"), url("/tmp/.png"),
                                              url("/tmp.d/README"), url("/tmp/a.png.txt")}}));
    EXPECT_EQ(owner->summaries, 1);

    // An empty content text is passed over; an empty text loaded from an attachment is not.
    walk(Items{{std::nullopt, {makeTextProvider(""), makeTextProvider("later")}}, {"third", {}}});
    EXPECT_EQ(owner->content.sharedText, "");
    walk(Items{{"  ", {makeTextProvider("attached")}}});
    EXPECT_EQ(owner->content.sharedText, "  ");

    walk(Items{});
    EXPECT_EQ(owner->summaries, 1);
    walk(std::nullopt);
    EXPECT_EQ(owner->summaries, 0);
}

TEST_F(ShareIntakeWalk, AFailedLoadHandsTheAttachmentToTheNextKind) {
    const QUrl picture("file:///tmp/picture");
    const auto fileThenImage =
        fake({{"public.file-url", {{LoadedItem{{}, std::make_error_code(std::errc::io_error)}}}},
              {"public.image", {{LoadedItem{picture}}}}});
    const auto fileThenURL = fake({{"public.file-url", {{LoadedItem{OtherObject{}}}}},
                                   {"public.url", {{LoadedItem{QUrl("file:///tmp/as-link")}}}}});
    const auto nothingFits = fake({{"public.file-url", {}}, {"public.plain-text", {}}});
    const auto cannotStart =
        fake({{"public.file-url", {{}, {}, std::make_exception_ptr(std::bad_alloc())}},
              {"public.plain-text", {{LoadedItem{QString("text")}}}}});
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    walk(Items{{std::nullopt,
                {fileThenImage, fileThenURL, nothingFits, cannotStart, makeImageProvider(image),
                 makeDataProvider("GIF89a", "public.png"),
                 makeDataProvider("%PDF-1.7", "application/pdf")}}});

    EXPECT_EQ(fileThenImage->requests, (Types{"public.file-url", "public.image"}));
    EXPECT_EQ(fileThenURL->requests, (Types{"public.file-url", "public.url"}));
    EXPECT_EQ(nothingFits->requests, (Types{"public.file-url", "public.url", "public.plain-text"}));
    EXPECT_EQ(cannotStart->requests, (Types{"public.file-url", "public.url", "public.plain-text"}));
    EXPECT_EQ(
        owner->content,
        (SharedContent{
            "text", "file:///tmp/as-link", {picture, imageFile(1, ".png"), imageFile(2, "")}, {}}));
}

// The sheet starts the walk without keeping its handle, and Send or Cancel may end the sheet, with
// its intake and its owner, while a load is pending.
TEST_F(ShareIntakeWalk, AWalkWhoseIntakeOrOwnerIsGoneEndsAtItsNextResumptionTouchingNothing) {
    for (const bool ownerGoes : {false, true}) {
        owner = std::make_unique<Owner>();
        auto intake = std::make_unique<ShareIntake>(*owner, fileManager, uuids);
        const auto pending = fake({{"public.plain-text", {{LoadedItem{QString("late")}}, 50ms}}});
        const auto next = fake({{"public.plain-text", {{LoadedItem{QString("next")}}}}});
        intake->loadSharedItems(Items{{std::nullopt, {pending, next}}, {"text", {}}});
        ownerGoes ? owner.reset() : intake.reset();
        // The walk lets go of the attachments once it has ended.
        while (pending.use_count() > 1)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EXPECT_TRUE(next->requests.empty());
        if (owner) {
            EXPECT_EQ(owner->content, SharedContent());
            EXPECT_EQ(owner->summaries, 0);
        }
    }
}

} // namespace
} // namespace tovin::test
