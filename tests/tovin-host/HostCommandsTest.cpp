#include "tovin-host/HostCommands.h"

#include "shared/FileManagerWrapper.h"
#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Another host removes each share just before this one does, or, when `fails`, nothing can be
// moved, as on a disk that has become read-only.
struct RacedRemoval final : FileManagerWrapper {
    RacedRemoval(std::shared_ptr<FileManager> disk, bool fails)
        : FileManagerWrapper(std::move(disk))
        , fails(fails) {}
    void moveItem(const fs::path& item, const fs::path& destination) override {
        if (fails)
            throw fs::filesystem_error("move", item,
                                       make_error_code(std::errc::read_only_file_system));
        fs::remove_all(item);
        FileManagerWrapper::moveItem(item, destination);
    }
    bool fails;
};

class HostCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { environment.variables["HOME"] = folder.path().string(); }

    // Runs one command line, split at spaces.
    int run(std::string_view line, const std::string& input = "") {
        std::istringstream words{std::string(line)}, in(input);
        const std::vector<std::string> kept{std::istream_iterator<std::string>(words), {}};
        const std::vector<std::string_view> arguments(kept.begin(), kept.end());
        out.str("");
        err.str("");
        return host::run(arguments, {environment, fileManager, in, out, err, {}});
    }
    bool said(std::string_view text) const { return err.str().find(text) != std::string::npos; }

    fs::path outbox() const { return *SharedContainer::outboxDirectory(environment); }

    // A complete entry, as the share sheet leaves it.
    void queue(const std::string& id, std::string_view createdAt = "0",
               std::string_view more = "") const {
        fs::create_directories(outbox() / id);
        std::ofstream(outbox() / id / "manifest.json")
            << R"({"attachments": [], "chatId": 7, "createdAt": )" << createdAt << more << '}';
    }

    testing::TemporaryFolder folder;
    testing::FakeEnvironment environment;
    std::shared_ptr<FileManager> fileManager = std::make_shared<PosixFileManager>();
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(HostCommandsTest, ChatsWriteReplacesTheListOnlyWithAValidOne) {
    std::ofstream(folder / "chats.json") << R"([
        {"id": 9223372036854775807, "title": "Allotment Society", "unread": 3},
        {"id": 1e3, "title": "Line\nbreak \u001b[31mred"}])";
    ASSERT_EQ(run("chats write " + (folder / "chats.json").string()), host::success) << err.str();
    ASSERT_EQ(run("chats list"), host::success);
    EXPECT_EQ(out.str(), "9223372036854775807\tAllotment Society\n1000\tLine break  [31mred\n");

    const fs::path snapshot = *SharedContainer::chatSnapshotURL(environment);
    const std::string before = fileManager->readFile(snapshot);
    for (const std::string list : {R"([{"id": 1, "title": "A"}, {"id": "2"}])", ""}) {
        EXPECT_EQ(run("chats write -", list), host::misuse) << list;
        EXPECT_TRUE(said("is not a valid chat list")) << err.str();
        EXPECT_EQ(fileManager->readFile(snapshot), before) << list;
    }
    EXPECT_EQ(run("chats write " + (folder / "absent.json").string()), host::misuse);
    EXPECT_TRUE(said("absent.json")) << err.str();

    fs::remove_all(folder / "Library");
    std::ofstream(folder / "Library") << "a file where the shared folder's parent should be";
    EXPECT_EQ(run("chats write -", "[]"), host::failure);
    EXPECT_TRUE(said("could not write the chat list")) << err.str();
}

TEST_F(HostCommandsTest, OutboxListShowsEachShareOldestFirst) {
    ASSERT_EQ(run("outbox list --json"), host::success);
    EXPECT_EQ(out.str(), "[]\n");
    // Neither the names nor the order of creation follow the times.
    queue("far-future", "1e300");
    queue("photo", "1000", R"(, "text": "first line\r\nsecond", "url": "https://example.org/a")");
    queue("pre-epoch", "-1.5");
    ASSERT_EQ(run("outbox list"), host::success);
    EXPECT_EQ(out.str(),
              "pre-epoch\t1969-12-31T23:59:59.998Z\t7\t\t\t0\n"
              "photo\t1970-01-01T00:00:01.000Z\t7\tfirst line\thttps://example.org/a\t0\n"
              "far-future\t1e+300 ms\t7\t\t\t0\n");
}

TEST_F(HostCommandsTest, OutboxRemoveDeletesListedEntriesAndReportsTheRest) {
    for (const std::string id : {"first", "kept", "third", "raced"})
        queue(id);
    fs::create_directories(outbox() / "unfinished" / "attachments"); // no manifest yet

    EXPECT_EQ(run("outbox remove first NO-SUCH-ID third"), host::failure);
    EXPECT_TRUE(said("NO-SUCH-ID")) << err.str();
    EXPECT_FALSE(fs::exists(outbox() / "first") || fs::exists(outbox() / "third"));
    for (const std::string id : {".", "..", "unfinished", "../outbox", "kept/.."})
        EXPECT_EQ(run("outbox remove -- " + id), host::failure) << id;

    const std::shared_ptr<FileManager> disk = fileManager;
    fileManager = std::make_shared<RacedRemoval>(disk, false);
    EXPECT_EQ(run("outbox remove raced"), host::success) << err.str();
    fileManager = std::make_shared<RacedRemoval>(disk, true);
    EXPECT_EQ(run("outbox remove kept"), host::failure);
    EXPECT_TRUE(said("could not remove")) << err.str();
    EXPECT_TRUE(fs::exists(outbox() / "kept/manifest.json") &&
                fs::exists(outbox() / "unfinished/attachments"));
}

TEST_F(HostCommandsTest, OutboxCleanDeletesOnlyOldLeftoversThatNoWriterHolds) {
    queue("queued");
    for (const std::string name :
         {"queued", "unfinished", ".removing-1", ".someone-else's", "fresh", "writing"}) {
        fs::create_directories(outbox() / name / "attachments");
        if (name != "fresh")
            fs::last_write_time(outbox() / name, fs::file_time_type::clock::now() - 2h);
    }
    // As a share sheet holds the entry it is writing.
    std::optional<FileDescriptor> writer = fileManager->tryLock(outbox() / "writing");
    ASSERT_TRUE(writer);
    ASSERT_EQ(run("outbox clean"), host::success) << err.str();
    for (const std::string name : {".removing-1", "unfinished"})
        EXPECT_NE(out.str().find("removed " + (outbox() / name).string() + '\n'), std::string::npos)
            << out.str();
    std::vector<fs::path> left{fs::directory_iterator(outbox()), {}};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector{outbox() / ".someone-else's", outbox() / "fresh",
                                 outbox() / "queued", outbox() / "writing"}));

    ASSERT_EQ(run("outbox clean --older-than 0s"), host::success) << err.str();
    EXPECT_EQ(out.str(), "removed " + (outbox() / "fresh").string() + '\n');
    writer.reset();
    ASSERT_EQ(run("outbox clean --older-than=0s"), host::success) << err.str();
    EXPECT_EQ(out.str(), "removed " + (outbox() / "writing").string() + '\n');
}

} // namespace
} // namespace tovin
