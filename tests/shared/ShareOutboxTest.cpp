#include "shared/ShareOutbox.h"

#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = ShareOutbox::Manifest::Attachment::Kind;
using Attachment = ShareOutbox::Manifest::Attachment;
using testing::CountingUUIDSource;

// While it lives, permission bits bind this thread even when it runs as root (as the tests do on
// CI): the capabilities that override them are lowered, and raised again at the end.
class PermissionsBind {
public:
    PermissionsBind() {
        ::syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &header_, lowered);
    }
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;
    ~PermissionsBind() { ::syscall(SYS_capset, &header_, saved_); }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

class ShareOutboxTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
    std::shared_ptr<CountingUUIDSource> uuids = std::make_shared<CountingUUIDSource>();
    std::shared_ptr<testing::FixedClock> clock =
        std::make_shared<testing::FixedClock>(std::chrono::system_clock::time_point(1000s));
    fs::path outboxURL = folder / "root" / "outbox";
    ShareOutbox outbox{outboxURL, disk, uuids, clock};

    fs::path write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file;
    }
    fs::path source(const std::string& relative, const std::string& text = "bytes") {
        return write(folder / "sources" / relative, text);
    }
    std::vector<std::string> ids() {
        std::vector<std::string> listed;
        for (const auto& share : outbox.pending())
            listed.push_back(share.id);
        return listed;
    }
};

TEST_F(ShareOutboxTest, CopiesInOrderUnderNamesMadeUniqueWithinTheShare) {
    std::vector<std::pair<std::uintmax_t, std::uintmax_t>> progress;
    const std::string id = outbox.enqueue(
        1, "text", "https://example.org",
        {{Kind::image, source("camera/IMG_0001.JPG", "first")},
         {Kind::image, source("scans/IMG_0001.JPG", "second")},
         {Kind::file, source("album/inner/page.txt", "page").parent_path().parent_path() / ""},
         {Kind::file, source("x/README", "r1")},
         {Kind::file, source("y/README", "r2")},
         {Kind::file, source("z/IMG_0001 2.JPG", "literal")},
         {Kind::file, folder / "sources" / "."},
         {Kind::file, folder / "sources" / "x" / ".."},
         {Kind::file, source("latin1/caf\xE9.txt", "1")},
         {Kind::file, source("cesu/caf\xED\xA0\x80.txt", "2")}},
        [&](std::uintmax_t done, std::uintmax_t total) { progress.emplace_back(done, total); });

    const auto share = outbox.pending().at(0);
    EXPECT_THAT(share.manifest.attachments,
                ElementsAre(Attachment{Kind::image, "IMG_0001.JPG"},
                            Attachment{Kind::image, "IMG_0001 2.JPG"},
                            Attachment{Kind::file, "album"}, Attachment{Kind::file, "README"},
                            Attachment{Kind::file, "README 2"},
                            Attachment{Kind::file, "IMG_0001 2 2.JPG"},
                            Attachment{Kind::file, CountingUUIDSource::text(2)},
                            Attachment{Kind::file, CountingUUIDSource::text(3)},
                            Attachment{Kind::file, "caf\uFFFD.txt"},
                            Attachment{Kind::file, "caf\uFFFD\uFFFD\uFFFD.txt"}));
    const auto urls = share.attachmentURLs();
    EXPECT_EQ(urls[0], outboxURL / id / "attachments" / "IMG_0001.JPG");
    EXPECT_EQ(disk->readFile(urls[1]), "second");
    EXPECT_EQ(disk->readFile(urls[2] / "inner" / "page.txt"), "page");
    EXPECT_EQ(disk->readFile(urls[5]), "literal");
    EXPECT_EQ(disk->readFile(urls[7] / "x" / "README"), "r1");
    EXPECT_EQ(disk->readFile(urls[8]), "1");

    // Every source's bytes, and all of them again twice in the folder "sources", shared twice.
    const std::uintmax_t total = 3 * (5 + 6 + 4 + 2 + 2 + 7 + 1 + 1);
    EXPECT_EQ(progress.front(), std::make_pair(std::uintmax_t{0}, total));
    EXPECT_EQ(progress.back(), std::make_pair(total, total));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(ShareOutboxTest, RefusesAFileThatCannotBeSharedAndLeavesNothing) {
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    fs::create_directories(outboxURL / "inside");
    fs::create_directory_symlink(outboxURL, folder / "link");
    const fs::path locked = source("locked/secret.txt").parent_path();
    fs::permissions(locked / "secret.txt", fs::perms::none);
    fs::create_directories(folder / "with" / "unreadable" / "inner");
    fs::permissions(folder / "with" / "unreadable", fs::perms::none);
    fs::create_directories(folder / "links");
    fs::create_symlink(locked / "secret.txt", folder / "links" / "shadow");
    fs::create_directories(folder / "home" / "Photos");
    fs::create_symlink("../..", folder / "home" / "Photos" / "up");
    struct Case {
        fs::path source;
        std::errc code;
        fs::path named = {}; // the item the error names, when not `source`
    };
    const Case cases[] = {
        {folder / "pipe", std::errc::not_supported},
        {"/dev/null", std::errc::not_supported},
        {std::string("/etc/hostname\0.txt", 18), std::errc::no_such_file_or_directory},
        // Unreadable inside a folder: named, whether a folder, or what a link leads to.
        {folder / "with", std::errc::permission_denied, folder / "with" / "unreadable"},
        {folder / "links", std::errc::permission_denied, folder / "links" / "shadow"},
        // The outbox, in it, or holding it: its copy would copy itself.
        {folder / "home" / "Photos", std::errc::invalid_argument,
         folder / "home" / "Photos" / "up"},
        {folder.path(), std::errc::invalid_argument},
        {outboxURL, std::errc::invalid_argument},
        {outboxURL / "", std::errc::invalid_argument},
        {outboxURL / "inside", std::errc::invalid_argument},
        {folder / "link", std::errc::invalid_argument},
        {folder / "link" / "inside" / "..", std::errc::invalid_argument},
        {"/", std::errc::invalid_argument},
    };
    const PermissionsBind permissionsBind;
    for (const bool withProgress : {false, true}) {
        for (const auto& [odd, code, named] : cases) {
            SCOPED_TRACE(::testing::Message() << odd << (withProgress ? " with progress" : ""));
            const int uuidsBefore = uuids->count;
            try {
                outbox.enqueue(1, std::nullopt, std::nullopt,
                               {{Kind::file, source("fine.txt")}, {Kind::file, odd}},
                               withProgress ? [](auto, auto) {} : ShareOutbox::Progress());
                ADD_FAILURE() << "queued";
            } catch (const fs::filesystem_error& error) {
                EXPECT_EQ(error.code(), code);
                EXPECT_EQ(error.path1(), named.empty() ? odd : named);
                if (code == std::errc::invalid_argument && named.empty()) {
                    EXPECT_THAT(error.what(), HasSubstr("cannot share the outbox"));
                    EXPECT_EQ(uuids->count, uuidsBefore) << "refused before anything is made";
                }
            }
            EXPECT_THAT(disk->contentsOfDirectory(outboxURL), ElementsAre(outboxURL / "inside"));
        }
    }
    fs::permissions(folder / "with" / "unreadable", fs::perms::owner_all);
}

// Text is refused as it is, not repaired: it is the person's message.
TEST_F(ShareOutboxTest, RefusesTextThatIsNotUTF8AndLeavesNothing) {
    fs::create_directories(outboxURL);
    for (const auto& [text, url] :
         {std::pair<std::optional<std::string>, std::optional<std::string>>{"caf\xE9", {}},
          {"ok", "https://example.org/\xC0\xAF"}}) {
        try {
            outbox.enqueue(1, text, url, {{Kind::file, source("fine.txt")}});
            ADD_FAILURE() << "text that is not UTF-8 was queued";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), std::errc::illegal_byte_sequence);
        }
    }
    EXPECT_THAT(disk->contentsOfDirectory(outboxURL), IsEmpty());
}

// Nothing in an entry leads outside it, wherever the shared folder's links lead, and a loop ends.
TEST_F(ShareOutboxTest, LinksInASharedFolderLeadNowhereOutsideTheEntry) {
    const fs::path shared = source("shared/docs/a.txt", "inside").parent_path().parent_path();
    const fs::path outside = write(folder / "outside" / "secret.txt", "secret").parent_path();
    write(outside / "dir" / "f.txt", "f");
    fs::create_symlink(outside / "dir", outside / "dir" / "again");
    // What each link is, and what lands in the entry in its place: a file's content, "-> " and
    // a link's text, "/" for a folder, or nothing.
    const std::tuple<const char*, fs::path, const char*> links[] = {
        {"absolute-outside", outside / "secret.txt", "secret"},
        {"absolute-inside", shared / "docs" / "a.txt", "-> docs/a.txt"},
        {"relative-inside", "docs/a.txt", "-> docs/a.txt"},
        {"docs/relative-escaping", "../../../outside/secret.txt", "secret"},
        {"docs/up", "..", "-> .."},
        {"folder-outside", outside / "dir", "/"},
        {"dangling", folder / "nowhere", ""},
        {"loop", "loop", ""},
        {"circle-a", "circle-b", ""},
        {"circle-b", "circle-a", ""},
    };
    for (const auto& [name, target, lands] : links)
        fs::create_symlink(target, shared / name);

    const std::string id =
        outbox.enqueue(1, std::nullopt, std::nullopt, {{Kind::file, shared}}, [](auto, auto) {});
    const fs::path entry = outboxURL / id, copy = entry / "attachments" / "shared";
    const auto landed = [](const fs::path& item) -> std::string {
        if (fs::is_symlink(item))
            return "-> " + fs::read_symlink(item).string();
        if (fs::is_directory(item))
            return "/";
        return fs::exists(item) ? PosixFileManager().readFile(item) : "";
    };
    for (const auto& [name, target, lands] : links)
        EXPECT_EQ(landed(copy / name), lands) << name;
    EXPECT_EQ(landed(copy / "folder-outside" / "f.txt"), "f");
    EXPECT_EQ(landed(copy / "folder-outside" / "again"), "-> .");
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(entry)) {
        const fs::path resolved = fs::canonical(item.path());
        EXPECT_NE(*resolved.lexically_relative(fs::canonical(entry)).begin(), "..")
            << item.path() << " leads to " << resolved;
    }
}

TEST_F(ShareOutboxTest, EveryFailureSurfacesUnchangedAndLeavesNothingOfTheEntry) {
    const std::vector<ShareOutbox::AttachmentSource> attachments{
        {Kind::image, source("a.png")}, {Kind::file, source("b/c.txt").parent_path()}};
    // Each step that writes fails in turn, before its work or once it is done (a disk filling up).
    for (const bool afterwards : {false, true}) {
        for (int step = 1;; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step << (afterwards ? " done" : ""));
            const testing::TemporaryFolder target;
            auto failing = std::make_shared<testing::FailingFileManager>(disk);
            failing->failAt = step;
            failing->afterwards = afterwards;
            const ShareOutbox faulty(target / "outbox", failing, uuids, clock);
            try {
                faulty.enqueue(9, "t", std::nullopt, attachments);
                EXPECT_EQ(step, failing->count + 1) << "succeeded only once no step was failed";
                break;
            } catch (const fs::filesystem_error& error) {
                EXPECT_EQ(error.code(), failing->error);
                EXPECT_THAT(error.what(), HasSubstr("injected failure"));
            }
            EXPECT_TRUE(!fs::exists(target / "outbox") || fs::is_empty(target / "outbox"));
        }
    }

    // The person cancels once the first file is in.
    struct Cancelled {};
    const auto cancel = [](std::uintmax_t done, std::uintmax_t) {
        if (done > 0)
            throw Cancelled();
    };
    EXPECT_THROW(outbox.enqueue(9, "t", std::nullopt, attachments, cancel), Cancelled);
    EXPECT_TRUE(fs::is_empty(outboxURL));
}

// The reader takes manifests of up to 16 MiB: the writer accepts no share whose manifest would be
// larger, and every one it accepts is listed exactly as it was given.
TEST_F(ShareOutboxTest, WhatEnqueueAcceptsPendingListsWholeUpToTheManifestLimit) {
    constexpr std::size_t limit = 16 << 20;
    const fs::path file = source("f.txt");
    fs::create_directories(outboxURL);
    const std::tuple<const char*, std::string, bool, std::vector<Attachment>> shapes[] = {
        {"text written longer, escaped, beside a file",
         "\x01/\"\xC3\xA9\n",
         false,
         {{Kind::file, "f.txt"}}},
        {"a link", "x", true, {}},
    };
    for (const auto& [shape, unit, asLink, files] : shapes) {
        const auto manifest = [&](std::size_t count) {
            std::string body;
            for (std::string piece = unit; count > 0; count /= 2, piece += piece) {
                if (count % 2 == 1)
                    body += piece;
            }
            return ShareOutbox::Manifest{1, asLink ? std::nullopt : std::optional(body),
                                         asLink ? std::optional(body) : std::nullopt, files,
                                         ShareOutbox::Timestamp(clock->time)};
        };
        const std::size_t base = manifest(0).encode().size();
        const std::size_t each = manifest(1).encode().size() - base;
        const std::size_t tooMany = (limit - base) / each + 1;
        // Accepted with room to spare for the longest time, then just over.
        for (const std::size_t count : {(limit - base - 24) / each, tooMany}) {
            SCOPED_TRACE(::testing::Message() << shape << " of " << count * each + base);
            const ShareOutbox::Manifest given = manifest(count);
            try {
                const std::string id = outbox.enqueue(
                    given.chatId, given.text, given.url,
                    files.empty() ? std::vector<ShareOutbox::AttachmentSource>()
                                  : std::vector<ShareOutbox::AttachmentSource>{{Kind::file, file}});
                EXPECT_LT(count, tooMany) << "accepted over the limit";
                const auto listed = outbox.pending();
                EXPECT_TRUE(listed.size() == 1 && listed[0].manifest == given)
                    << "accepted, and not listed as given";
                fs::remove_all(outboxURL / id);
            } catch (const std::system_error& error) {
                EXPECT_EQ(error.code(), std::errc::message_size);
                EXPECT_GT(base + count * each + 24, limit) << "refused far below the limit";
            }
            EXPECT_THAT(disk->contentsOfDirectory(outboxURL), IsEmpty());
        }
    }
}

// Files whose names alone are over the limit: refused before any is looked at.
TEST_F(ShareOutboxTest, RefusesTooManyFilesBeforeLookingAtAny) {
    fs::create_directories(outboxURL);
    std::vector<ShareOutbox::AttachmentSource> many;
    for (int i = 0; i < 5'000; ++i)
        many.push_back(
            {Kind::file, folder / "absent" / (std::string(4000, 'n') + std::to_string(i))});
    try {
        outbox.enqueue(1, std::nullopt, std::nullopt, many);
        ADD_FAILURE() << "queued a manifest over the limit";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::argument_list_too_long);
    }
    EXPECT_THAT(disk->contentsOfDirectory(outboxURL), IsEmpty());
}

TEST_F(ShareOutboxTest, PendingListsCompleteEntriesOldestFirst) {
    EXPECT_THAT(ids(), IsEmpty());
    const auto at = [&](std::chrono::seconds time) {
        clock->time = std::chrono::system_clock::time_point(time);
        return outbox.enqueue(1, std::nullopt, std::nullopt, {});
    };
    const std::string t1 = at(100s), t2 = at(200s), t3 = at(50s);
    EXPECT_EQ(t1, CountingUUIDSource::text(1));
    EXPECT_THAT(disk->contentsOfDirectory(outboxURL / t1),
                ElementsAre(outboxURL / t1 / "manifest.json"));
    EXPECT_EQ(disk->readFile(outboxURL / t1 / "manifest.json"),
              "{\n  \"attachments\": [],\n  \"chatId\": 1,\n  \"createdAt\": 100000.0\n}");
    const auto entry = [&](const std::string& name, const std::string& manifest) {
        write(outboxURL / name / "manifest.json", manifest);
    };
    entry("not-a-uuid",
          R"({"chatId":4,"createdAt":150000.5,"attachments":[{"kind":"file","filename":"b"}]})");
    for (const std::string name : {"", "../../b"})
        entry("leaving" + name, R"({"chatId":9,"createdAt":1,"attachments":[{"kind":"file",)"
                                R"("filename":")" +
                                    name + "\"}]}");
    const std::string limit = R"({"chatId":10,"createdAt":1,"attachments":[]})";
    entry("at the limit", limit + std::string((16 << 20) - limit.size(), ' '));
    entry("over the limit", limit + std::string((16 << 20) - limit.size() + 1, ' '));
    entry(".hidden", R"({"chatId":5,"createdAt":1,"attachments":[]})");
    entry("partial", R"({"chatId":7,"createdAt":1,"attach)");
    write(outboxURL / "stray.json", R"({"chatId":8,"createdAt":1,"attachments":[]})");
    fs::create_directories(outboxURL / "leftover" / "attachments");

    EXPECT_THAT(ids(), ElementsAre("at the limit", t3, t1, "not-a-uuid", t2));
    EXPECT_THAT(outbox.pending()[3].attachmentURLs(),
                ElementsAre(outboxURL / "not-a-uuid" / "attachments" / "b"));
    EXPECT_TRUE(fs::exists(outboxURL / "leftover")) << "the reader repairs nothing";
}

TEST_F(ShareOutboxTest, RemoveDeletesTheEntryAndIgnoresFailure) {
    outbox.enqueue(1, std::nullopt, std::nullopt, {{Kind::file, source("f.txt")}});
    clock->time += 1ms;
    const std::string kept = outbox.enqueue(2, std::nullopt, std::nullopt, {});
    const auto removed = outbox.pending().at(0);

    outbox.remove(removed);
    outbox.remove(removed);
    EXPECT_THAT(ids(), ElementsAre(kept));
    EXPECT_FALSE(fs::exists(removed.folder));

    // A host that names the folder as a folder.
    ShareOutbox::PendingShare named = outbox.pending().at(0);
    named.folder /= "";
    outbox.remove(named);
    EXPECT_THAT(ids(), IsEmpty());
    EXPECT_THAT(disk->contentsOfDirectory(outboxURL), IsEmpty());
}

} // namespace
} // namespace tovin
