#include "TestSupport.h"
#include "intake/FileURL.h"
#include "intake/ShareIntake.h"
#include "intake/StreamItemProvider.h"
#include "intake/ValueItemProvider.h"

#include <QBuffer>
#include <QImage>
#include <sys/socket.h>

namespace tovin::test {
namespace {

using namespace std::chrono_literals;
using Items = std::vector<InputItem>;
using Types = std::vector<std::string>;
namespace fs = std::filesystem;

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
    void itemLost(std::error_code error) override {
        EXPECT_TRUE(onMainThread());
        losses.push_back(error);
    }

    SharedContent content;
    int summaries = 0;
    std::vector<std::error_code> losses;
};

class ShareIntakeWalk : public IntakeTest {
protected:
    void walk(std::optional<Items> items) {
        owner = std::make_unique<Owner>();
        ShareIntake intake(*owner, fileManager, uuids);
        QCoro::waitFor(intake.loadSharedItems(std::move(items)));
    }

    // A stream of `bytes`, written by a thread of its own, and then ended unless `endless`, for
    // a second at least. A reader that stops early does not end the writer.
    std::shared_ptr<StreamItemProvider> stream(std::string bytes, bool endless = false) {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        writers.emplace_back([bytes = std::move(bytes), in = FileDescriptor(ends[1]), endless] {
            for (std::string_view rest = bytes; !rest.empty();) {
                const ssize_t sent = ::send(in.get(), rest.data(), rest.size(), MSG_NOSIGNAL);
                if (sent < 0)
                    break;
                rest.remove_prefix(static_cast<std::size_t>(sent));
            }
            if (endless)
                std::this_thread::sleep_for(1s);
        });
        return std::make_shared<StreamItemProvider>(FileDescriptor(ends[0]), fileManager, uuids);
    }

    std::unique_ptr<Owner> owner;
    std::vector<std::jthread> writers;
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

// Only an attachment that had something and failed to deliver it is reported lost.
TEST_F(ShareIntakeWalk, AFailedLoadHandsTheAttachmentToTheNextKindAndALostOneIsReported) {
    const QUrl picture("file:///tmp/picture");
    const auto failing = [](std::errc error) {
        return Answer{{LoadedItem{{}, std::make_error_code(error)}}};
    };
    const auto fileThenImage = fake({{"public.file-url", failing(std::errc::io_error)},
                                     {"public.image", {{LoadedItem{picture}}}}});
    const auto lost = fake({{"public.file-url", failing(std::errc::no_space_on_device)},
                            {"public.plain-text", failing(std::errc::io_error)}});
    const auto notOffered = fake({{"public.file-url", failing(std::errc::not_supported)},
                                  {"public.image", failing(std::errc::operation_canceled)}});
    const auto fileThenURL = fake({{"public.file-url", {{LoadedItem{OtherObject{}}}}},
                                   {"public.url", {{LoadedItem{QUrl("file:///tmp/as-link")}}}}});
    const auto nothingFits = fake({{"public.file-url", {}}, {"public.plain-text", {}}});
    const auto cannotStart =
        fake({{"public.file-url", {{}, {}, std::make_exception_ptr(std::bad_alloc())}},
              {"public.plain-text", {{LoadedItem{QString("text")}}}}});
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    walk(Items{{std::nullopt,
                {fileThenImage, lost, notOffered, fileThenURL, nothingFits, cannotStart,
                 makeImageProvider(image), makeDataProvider("GIF89a", "public.png"),
                 makeDataProvider("%PDF-1.7", "application/pdf")}}});

    EXPECT_EQ(fileThenImage->requests, (Types{"public.file-url", "public.image"}));
    EXPECT_EQ(fileThenURL->requests, (Types{"public.file-url", "public.url"}));
    EXPECT_EQ(nothingFits->requests, (Types{"public.file-url", "public.url", "public.plain-text"}));
    EXPECT_EQ(cannotStart->requests, (Types{"public.file-url", "public.url", "public.plain-text"}));
    EXPECT_EQ(
        owner->content,
        (SharedContent{
            "text", "file:///tmp/as-link", {picture, imageFile(1, ".png"), imageFile(2, "")}, {}}));
    EXPECT_EQ(owner->losses, std::vector{std::make_error_code(std::errc::no_space_on_device)});
}

// Standard input as the walk files it, judged by its content: text held in memory, everything
// else in a new file of the owner's alone, named after its type unless it is an image.
TEST_F(ShareIntakeWalk, FilesAStreamAsWhatItsContentIs) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(64, 64, QImage::Format_RGB32).save(&buffer, "PNG");
    const std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n";
    const auto tooLong = std::string(StreamItemProvider::textLimit + 1, 'a');
    struct Row {
        const char* what;
        std::string bytes;
        std::optional<QString> text;
        const char* file; // relative to the temporary folder; "<image>" for the image's own name
    };
    const Row rows[] = {
        {"text", "caf\xc3\xa9\n", "café\n", nullptr},
        {"nothing", "", "", nullptr},
        {"PNG", png.toStdString(), std::nullopt, "<image>"},
        {"PDF", pdf, std::nullopt, "shared.pdf"},
        {"Latin-1 text", "caf\xe9\n", std::nullopt, "shared.txt"},
        {"text past the limit", tooLong, std::nullopt, "shared.txt"},
        {"unknown bytes", std::string(100, '\0'), std::nullopt, "shared"},
    };
    // A temporary folder whose name is not UTF-8 still holds what its URLs name.
    const fs::path temporary = folder / "tmp\xe9";
    fs::create_directory(temporary);
    environment->variables["TMPDIR"] = temporary;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        walk(Items{{std::nullopt, {stream(row.bytes)}}});
        const SharedContent& content = owner->content;
        EXPECT_EQ(content.sharedText, row.text);
        EXPECT_TRUE(owner->losses.empty());
        if (!row.file) {
            EXPECT_TRUE(fs::is_empty(temporary));
            continue;
        }
        const bool image = row.file == std::string_view("<image>");
        const auto& files = image ? content.sharedImageURLs : content.sharedFileURLs;
        EXPECT_EQ(files.size(), 1u);
        if (files.size() != 1)
            continue;
        const fs::path file = localPath(files[0]);
        const fs::path made =
            temporary / ("tovin-share-" + testing::CountingUUIDSource::text(uuids->count));
        EXPECT_EQ(file, image ? made : made / row.file);
        EXPECT_EQ(this->files->readFile(file), row.bytes);
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(fs::status(made).permissions(),
                  image ? fs::status(file).permissions() : fs::perms::owner_all);
        fs::remove_all(made);
    }
}

// Reading stops at once, even from a stream that never ends, and what it wrote goes with it, as
// when the disk is full; only the full disk is a loss.
TEST_F(ShareIntakeWalk, AStreamStoppedOrOnAFullDiskLeavesNothing) {
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full);
        if (full)
            fileManager = std::make_shared<FullDisk>(files);
        owner = std::make_unique<Owner>();
        ShareIntake intake(*owner, fileManager, uuids);
        const auto endless = stream(std::string(100000, '\0'), true);
        auto walking = intake.loadSharedItems(Items{{std::nullopt, {endless}}});
        if (!full) {
            while (fs::is_empty(folder.path()))
                std::this_thread::sleep_for(10ms);
            endless->stop();
        }
        QCoro::waitFor(std::move(walking));
        EXPECT_EQ(owner->content, SharedContent());
        EXPECT_EQ(owner->losses,
                  full ? std::vector{std::make_error_code(std::errc::no_space_on_device)}
                       : std::vector<std::error_code>{});
        EXPECT_TRUE(fs::is_empty(folder.path()));
    }
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
