#include "shared/ShareOutbox.h"

#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = ShareOutbox::Manifest::Attachment::Kind;
using Attachment = ShareOutbox::Manifest::Attachment;

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> result;
    for (const auto& child : fs::directory_iterator(folder))
        result.push_back(child.path().filename());
    std::sort(result.begin(), result.end());
    return result;
}

class ShareOutboxTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
    std::shared_ptr<testing::CountingUUIDSource> uuids =
        std::make_shared<testing::CountingUUIDSource>();
    std::shared_ptr<testing::FixedClock> clock =
        std::make_shared<testing::FixedClock>(std::chrono::system_clock::time_point(1000s));
    fs::path outboxURL = folder / "root" / "outbox";
    ShareOutbox outbox{outboxURL, disk, uuids, clock};

    fs::path source(const std::string& relative, const std::string& text = "bytes") {
        writeText(folder / "sources" / relative, text);
        return folder / "sources" / relative;
    }
};

TEST_F(ShareOutboxTest, AShareWithoutFilesIsAFolderWithOnlyItsManifest) {
    const std::string id = outbox.enqueue(5, std::nullopt, std::nullopt, {});

    EXPECT_EQ(id, "00000000-0000-4000-8000-000000000001");
    EXPECT_THAT(names(outboxURL), ElementsAre(id));
    EXPECT_THAT(names(outboxURL / id), ElementsAre("manifest.json"));
    EXPECT_EQ(contents(outboxURL / id / "manifest.json"),
              "{\n  \"attachments\": [],\n  \"chatId\": 5,\n  \"createdAt\": 1000000.0\n}");
    const auto shares = outbox.pending();
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(shares[0].id, id);
    EXPECT_EQ(shares[0].folder, outboxURL / id);
    EXPECT_THAT(shares[0].attachmentURLs(), IsEmpty());
}

TEST_F(ShareOutboxTest, CopiesFilesAndFoldersInOrderUnderTheirOwnNames) {
    const fs::path photo = source("camera/IMG_0001.JPG", "first");
    const fs::path other = source("scans/IMG_0001.JPG", "second");
    const fs::path third = source("more/IMG_0001.JPG", "third");
    const fs::path album = source("album/inner/page.txt", "page").parent_path().parent_path();
    const fs::path bare = source("x/README", "r1");
    const fs::path bare2 = source("y/README", "r2");
    const fs::path taken = source("z/IMG_0001 2.JPG", "literal");

    const std::string id = outbox.enqueue(1, "text", "https://example.org",
                                          {{Kind::image, photo},
                                           {Kind::image, other},
                                           {Kind::file, album / ""},
                                           {Kind::file, bare},
                                           {Kind::file, bare2},
                                           {Kind::image, third},
                                           {Kind::file, taken}});

    const auto shares = outbox.pending();
    ASSERT_EQ(shares.size(), 1u);
    const auto& manifest = shares[0].manifest;
    EXPECT_THAT(manifest.attachments,
                ElementsAre(Attachment{Kind::image, "IMG_0001.JPG"},
                            Attachment{Kind::image, "IMG_0001 2.JPG"},
                            Attachment{Kind::file, "album"}, Attachment{Kind::file, "README"},
                            Attachment{Kind::file, "README 2"},
                            Attachment{Kind::image, "IMG_0001 3.JPG"},
                            Attachment{Kind::file, "IMG_0001 2 2.JPG"}));
    const auto urls = shares[0].attachmentURLs();
    ASSERT_EQ(urls.size(), 7u);
    EXPECT_EQ(urls[0], outboxURL / id / "attachments" / "IMG_0001.JPG");
    EXPECT_EQ(contents(urls[0]), "first");
    EXPECT_EQ(contents(urls[1]), "second");
    EXPECT_EQ(contents(urls[2] / "inner" / "page.txt"), "page");
    EXPECT_EQ(contents(urls[4]), "r2");
    EXPECT_EQ(contents(urls[5]), "third");
    EXPECT_EQ(contents(urls[6]), "literal");
    EXPECT_EQ(manifest.text, "text");
    EXPECT_EQ(manifest.url, "https://example.org");
}

TEST_F(ShareOutboxTest, SourcesWithoutAUsableNameGetAFreshUUID) {
    const fs::path file = source("x/plain.txt");
    const std::string id = outbox.enqueue(1, std::nullopt, std::nullopt,
                                          {{Kind::file, folder / "sources" / "."},
                                           {Kind::file, folder / "sources" / "x" / ".."},
                                           {Kind::file, file}});

    const auto manifest = outbox.pending().at(0).manifest;
    EXPECT_THAT(manifest.attachments,
                ElementsAre(Attachment{Kind::file, "00000000-0000-4000-8000-000000000002"},
                            Attachment{Kind::file, "00000000-0000-4000-8000-000000000003"},
                            Attachment{Kind::file, "plain.txt"}));
    EXPECT_TRUE(
        fs::is_directory(outboxURL / id / "attachments" / manifest.attachments[0].filename));
}

TEST_F(ShareOutboxTest, RefusesWhatIsNeitherAFileNorAFolder) {
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    try {
        outbox.enqueue(1, std::nullopt, std::nullopt, {{Kind::file, fifo}});
        FAIL() << "a FIFO was queued";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.code(), std::errc::not_supported);
        EXPECT_EQ(error.path1(), fifo);
    }
    EXPECT_THROW(outbox.enqueue(1, std::nullopt, std::nullopt, {{Kind::file, "/dev/null"}}),
                 fs::filesystem_error);
    EXPECT_THAT(outbox.pending(), IsEmpty());
}

TEST_F(ShareOutboxTest, EveryFailureSurfacesUnchangedAndLeavesNoListedEntry) {
    const std::vector<ShareOutbox::AttachmentSource> attachments{
        {Kind::image, source("a.png")}, {Kind::file, source("b/c.txt").parent_path()}};
    for (int step = 1;; ++step) {
        SCOPED_TRACE(step);
        const testing::TemporaryFolder target;
        auto failing = std::make_shared<testing::FailingFileManager>(disk);
        failing->failAt = step;
        const ShareOutbox faulty(target / "outbox", failing, uuids, clock);
        const std::string id = testing::CountingUUIDSource::text(uuids->count + 1);
        try {
            faulty.enqueue(9, "t", std::nullopt, attachments);
            EXPECT_EQ(step, failing->count + 1) << "succeeded only once no step was failed";
            break;
        } catch (const fs::filesystem_error& error) {
            EXPECT_EQ(error.code(), failing->error);
            EXPECT_THAT(error.what(), ::testing::HasSubstr("injected failure"));
        }
        const ShareOutbox reader(target / "outbox", disk);
        EXPECT_THAT(reader.pending(), IsEmpty());
        if (step > 2) {
            EXPECT_TRUE(fs::is_directory(target / "outbox" / id)) << "nothing made is removed";
            EXPECT_FALSE(fs::exists(target / "outbox" / id / "manifest.json"));
        }
    }
}

TEST_F(ShareOutboxTest, PendingListsCompleteEntriesOldestFirst) {
    const auto at = [&](std::chrono::seconds time, std::int64_t chat) {
        clock->time = std::chrono::system_clock::time_point(time);
        return outbox.enqueue(chat, std::nullopt, std::nullopt, {});
    };
    const std::string t1 = at(100s, 1), t2 = at(200s, 2), t3 = at(50s, 3);
    writeText(outboxURL / "not-a-uuid" / "manifest.json",
              R"({"chatId":4,"createdAt":150000.5,"attachments":[{"kind":"file","filename":"a"},
                  {"kind":"file","filename":"/b"}]})");
    writeText(outboxURL / ".hidden" / "manifest.json",
              R"({"chatId":5,"createdAt":1,"attachments":[]})");
    writeText(outboxURL / "capital" / "manifest.json",
              R"({"chatId":6,"createdAt":1,"attachments":[{"kind":"Image","filename":"a"}]})");
    writeText(outboxURL / "partial" / "manifest.json", R"({"chatId":7,"createdAt":1,"attach)");
    writeText(outboxURL / "stray.json", R"({"chatId":8,"createdAt":1,"attachments":[]})");
    fs::create_directories(outboxURL / "leftover" / "attachments");

    const auto shares = outbox.pending();
    std::vector<std::string> ids;
    for (const auto& share : shares)
        ids.push_back(share.id);
    EXPECT_THAT(ids, ElementsAre(t3, t1, "not-a-uuid", t2));
    EXPECT_THAT(shares[2].attachmentURLs(),
                ElementsAre(outboxURL / "not-a-uuid" / "attachments" / "a",
                            outboxURL / "not-a-uuid" / "attachments" / "b"));
    EXPECT_TRUE(fs::exists(outboxURL / "leftover")) << "the reader repairs nothing";
}

TEST_F(ShareOutboxTest, RemoveDeletesTheEntryAndIgnoresFailure) {
    outbox.enqueue(1, std::nullopt, std::nullopt, {{Kind::file, source("f.txt")}});
    clock->time += 1ms;
    const std::string kept = outbox.enqueue(2, std::nullopt, std::nullopt, {});
    const auto shares = outbox.pending();
    ASSERT_EQ(shares.size(), 2u);

    outbox.remove(shares[0]);
    outbox.remove(shares[0]);
    ASSERT_EQ(outbox.pending().size(), 1u);
    EXPECT_EQ(outbox.pending()[0].id, kept);
    EXPECT_FALSE(fs::exists(shares[0].folder));
}

TEST_F(ShareOutboxTest, AMissingOrUnreadableOutboxListsNothing) {
    EXPECT_THAT(outbox.pending(), IsEmpty());
    writeText(outboxURL, "a file where the outbox should be");
    EXPECT_THAT(outbox.pending(), IsEmpty());
}

} // namespace
} // namespace tovin
