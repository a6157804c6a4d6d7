#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "support/TemporaryFolder.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using Kind = ShareOutbox::Manifest::Attachment::Kind;

// Writes a line at once, unbuffered, so that a killed process has said all it did.
void say(const std::string& line) {
    if (::write(STDOUT_FILENO, (line + "\n").data(), line.size() + 1) < 0)
        std::_Exit(1);
}

// A process of its own, forked from the test, running `work` until it returns or is killed; what
// it says is read line by line.
class Process {
public:
    explicit Process(const std::function<void()>& work) {
        int pipe[2];
        if (::pipe(pipe) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipe[1], STDOUT_FILENO);
            try {
                work();
            } catch (...) {
                std::_Exit(1);
            }
            std::_Exit(0);
        }
        ::close(pipe[1]);
        output_ = ::fdopen(pipe[0], "r");
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        kill();
        std::fclose(output_);
    }

    void kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(std::exchange(pid_, 0), nullptr, 0);
    }

    // The next line the process said, or no value once it has stopped; waits for it.
    std::optional<std::string> nextLine() {
        char line[64];
        if (std::fgets(line, sizeof line, output_) == nullptr)
            return std::nullopt;
        return std::string(line, std::strlen(line) - 1);
    }

private:
    pid_t pid_ = 0;
    std::FILE* output_ = nullptr;
};

class OutboxProcessTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
    std::mt19937 random{20261206};

    // Sleeps for up to `longest` microseconds, so that a kill lands anywhere in the work.
    void pause(int longest) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % longest));
    }
};

TEST_F(OutboxProcessTest, AWriterKilledAtAnyMomentLeavesOnlyWholeEntriesAndLosesNoReturnedId) {
    const ShareOutbox outbox(folder / "outbox", disk);
    const std::string photo(256 * 1024, 'p');
    fs::create_directories(folder / "album");
    std::ofstream(folder / "photo.jpg", std::ios::binary) << photo;
    std::ofstream(folder / "album" / "page.txt") << "page";
    const std::vector<ShareOutbox::AttachmentSource> attachments{
        {Kind::image, folder / "photo.jpg"}, {Kind::file, folder / "album"}};

    std::set<std::string> returned;
    for (int kill = 1; kill <= 200; ++kill) {
        Process writer([&] {
            for (int i = 0;; ++i)
                say(outbox.enqueue(i, "share", std::nullopt, attachments));
        });
        returned.insert(writer.nextLine().value()); // started, however slowly
        pause(40000);
        writer.kill();
        while (const auto id = writer.nextLine())
            returned.insert(*id);
        if (kill % 25 != 0)
            continue;

        std::set<std::string> listed;
        for (const auto& share : outbox.pending()) {
            const auto urls = share.attachmentURLs();
            EXPECT_EQ(urls.size(), 2u) << share.id;
            if (urls.size() == 2) {
                EXPECT_EQ(disk->readFile(urls[0]), photo) << share.id;
                EXPECT_EQ(disk->readFile(urls[1] / "page.txt"), "page") << share.id;
            }
            listed.insert(share.id);
        }
        for (const std::string& id : returned)
            EXPECT_TRUE(listed.contains(id)) << id << " was returned but is not listed";
    }
}

// However old an entry without a manifest looks, its writer may still be copying: only what no
// writer holds any more is a leftover.
TEST_F(OutboxProcessTest,
       CleaningPassesOverAShareStillBeingWrittenAndTakesAKilledWritersLeftovers) {
    const ShareOutbox outbox(folder / "outbox", disk);
    std::ofstream(folder / "photo.jpg") << "photo";
    const auto copying = [&] {
        return std::make_unique<Process>([&] {
            outbox.enqueue(1, "share", std::nullopt, {{Kind::image, folder / "photo.jpg"}},
                           [](std::uintmax_t done, std::uintmax_t) {
                               if (done == 0)
                                   return;
                               say("copying");
                               ::pause();
                           });
        });
    };
    const auto live = copying(), killed = copying();
    ASSERT_EQ(live->nextLine(), "copying");
    ASSERT_EQ(killed->nextLine(), "copying");
    killed->kill();
    fs::create_directories(outbox.outboxURL() / "idle" / "attachments");
    const auto entries = [&] {
        std::set<fs::path> found;
        for (const fs::path& entry : disk->contentsOfDirectory(outbox.outboxURL()))
            found.insert(entry);
        return found;
    };
    const std::set<fs::path> before = entries();
    ASSERT_EQ(before.size(), 3u);

    const std::vector<fs::path> removed = outbox.removeLeftovers(std::chrono::seconds(0));
    const std::set<fs::path> after = entries();
    ASSERT_EQ(after.size(), 1u) << "the killed writer's entry and the idle one go";
    EXPECT_EQ(std::set<fs::path>(removed.begin(), removed.end()).size(), 2u);
    EXPECT_FALSE(std::set<fs::path>(removed.begin(), removed.end()).contains(*after.begin()));
    live->kill();
    EXPECT_EQ(outbox.removeLeftovers(std::chrono::seconds(0)), std::vector{*after.begin()});
}

TEST_F(OutboxProcessTest, ARemoverKilledAtAnyMomentLeavesNoListedEntryWithFilesMissing) {
    // Deleting in listing order tears an entry only where its files are listed before its
    // manifest: on tmpfs the newest name comes first.
    std::optional<testing::TemporaryFolder> place;
    for (const fs::path& parent : {fs::temp_directory_path(), fs::path("/dev/shm")}) {
        place.emplace(parent);
        std::ofstream(*place / "manifest.json");
        fs::create_directories(*place / "attachments");
        if (fs::directory_iterator(place->path())->path().filename() == "attachments")
            break;
        place.reset();
    }
    if (!place)
        GTEST_SKIP() << "no file system at hand lists an entry's files before its manifest";
    const ShareOutbox outbox(*place / "outbox", disk);

    constexpr int entries = 10, filesEach = 400;
    std::string manifest = R"({"chatId": 1, "createdAt": 0, "attachments": [)";
    for (int file = 0; file < filesEach; ++file)
        manifest += std::string(file == 0 ? "" : ",") + R"({"kind": "file", "filename": ")" +
                    std::to_string(file) + "\"}";
    manifest += "]}";
    int made = 0;
    for (int kill = 1; kill <= 40; ++kill) {
        // Manifest first, then the files, as an entry is laid out where this matters.
        for (auto missing = entries - outbox.pending().size(); missing > 0; --missing) {
            const fs::path entry = outbox.outboxURL() / std::to_string(++made);
            fs::create_directories(entry);
            std::ofstream(entry / "manifest.json") << manifest;
            fs::create_directory(entry / "attachments");
            for (int file = 0; file < filesEach; ++file)
                std::ofstream(entry / "attachments" / std::to_string(file));
        }
        Process remover([&] {
            const auto shares = outbox.pending();
            say("listed");
            for (const auto& share : shares)
                outbox.remove(share);
        });
        EXPECT_EQ(remover.nextLine(), "listed");
        pause(20000);
        remover.kill();

        for (const auto& share : outbox.pending()) {
            for (const fs::path& file : share.attachmentURLs())
                ASSERT_TRUE(fs::exists(file)) << share.id << " is listed without " << file;
        }
    }
}

} // namespace
} // namespace tovin
