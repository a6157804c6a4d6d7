#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "support/TemporaryFolder.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
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
using namespace std::chrono_literals;

// One run of the outbox writer, which prints each id as enqueue returns it (or, as a remover,
// "listed" once it has listed the outbox).
class Writer {
public:
    explicit Writer(std::vector<std::string> arguments) {
        int pipe[2];
        if (::pipe(pipe) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
        std::vector<char*> argv{const_cast<char*>(OUTBOX_WRITER)};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipe[1], STDOUT_FILENO);
            ::execv(OUTBOX_WRITER, argv.data());
            ::_exit(127);
        }
        ::close(pipe[1]);
        output_ = ::fdopen(pipe[0], "r");
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() {
        if (pid_ > 0)
            kill();
        std::fclose(output_);
    }

    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

    int wait() {
        int status = 0;
        ::waitpid(std::exchange(pid_, 0), &status, 0);
        return status;
    }

    // The next id the writer printed, or no value once it has stopped; waits for it.
    std::optional<std::string> nextId() {
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
    fs::path outboxURL = folder / "outbox";
    std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
    ShareOutbox outbox{outboxURL, disk};
    std::string photo = std::string(256 * 1024, 'p');

    void SetUp() override {
        fs::create_directories(folder / "album");
        std::ofstream(folder / "photo.jpg", std::ios::binary) << photo;
        std::ofstream(folder / "album" / "page.txt") << "page";
    }

    std::unique_ptr<Writer> start(int count) {
        return std::make_unique<Writer>(std::vector<std::string>{
            outboxURL, std::to_string(count), folder / "photo.jpg", folder / "album"});
    }

    // A listed entry holds everything its writer copied.
    void expectWhole(const ShareOutbox::PendingShare& share) {
        const auto urls = share.attachmentURLs();
        ASSERT_EQ(urls.size(), 2u) << share.id;
        EXPECT_EQ(disk->readFile(urls[0]), photo) << share.id;
        EXPECT_EQ(disk->readFile(urls[1] / "page.txt"), "page") << share.id;
    }
};

TEST_F(OutboxProcessTest, AWriterKilledAtAnyMomentLeavesOnlyWholeEntriesAndLosesNoReturnedId) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 40000);
    std::set<std::string> returned;
    for (int kill = 1; kill <= 200; ++kill) {
        const auto writer = start(0);
        // Started, however slowly; from here on the kill lands anywhere in an enqueue.
        returned.insert(writer->nextId().value());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        writer->kill();
        while (const auto id = writer->nextId())
            returned.insert(*id);
        if (kill % 25 != 0)
            continue;

        std::set<std::string> listed;
        for (const auto& share : outbox.pending()) {
            expectWhole(share);
            listed.insert(share.id);
        }
        for (const std::string& id : returned)
            ASSERT_TRUE(listed.contains(id)) << id << " was returned but is not listed";
    }
}

TEST_F(OutboxProcessTest, WritersListerAndRemoverShareOneOutbox) {
    constexpr std::size_t writers = 3, sharesEach = 40;
    std::vector<std::unique_ptr<Writer>> running;
    for (std::size_t i = 0; i < writers; ++i)
        running.push_back(start(sharesEach));

    std::set<std::string> removed;
    const auto drain = [&] {
        for (const auto& share : outbox.pending()) {
            EXPECT_FALSE(removed.contains(share.id)) << share.id << " listed after its removal";
            expectWhole(share);
            outbox.remove(share);
            removed.insert(share.id);
        }
    };
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (removed.size() < writers * sharesEach && std::chrono::steady_clock::now() < deadline)
        drain();

    std::set<std::string> returned;
    for (const auto& writer : running) {
        while (const auto id = writer->nextId())
            returned.insert(*id);
        EXPECT_EQ(writer->wait(), 0);
    }
    drain();
    EXPECT_EQ(returned.size(), writers * sharesEach);
    EXPECT_EQ(removed, returned);
}

// Whether deleting `entry` in listing order would reach its files before its manifest.
bool attachmentsListedFirst(const fs::path& entry) {
    for (const fs::directory_entry& child : fs::directory_iterator(entry))
        return child.path().filename() == "attachments";
    return false;
}

TEST_F(OutboxProcessTest, ARemoverKilledAtAnyMomentLeavesNoListedEntryWithFilesMissing) {
    // The order of a listing is the file system's: where the manifest comes first, deleting in
    // that order could not tear an entry. The newest name comes first on tmpfs.
    constexpr int entries = 10, filesEach = 400;
    std::optional<testing::TemporaryFolder> place;
    for (const fs::path& parent : {fs::temp_directory_path(), fs::path("/dev/shm")}) {
        place.emplace(parent);
        fs::create_directories(*place / "probe");
        std::ofstream(*place / "probe" / "manifest.json");
        fs::create_directories(*place / "probe" / "attachments");
        if (attachmentsListedFirst(*place / "probe"))
            break;
        place.reset();
    }
    if (!place)
        GTEST_SKIP() << "no file system at hand lists an entry's files before its manifest";
    const ShareOutbox outbox(*place / "outbox", disk);

    std::string manifest = R"({"chatId": 1, "createdAt": 0, "attachments": [)";
    for (int file = 0; file < filesEach; ++file)
        manifest += std::string(file == 0 ? "" : ",") + R"({"kind": "file", "filename": ")" +
                    std::to_string(file) + "\"}";
    manifest += "]}";
    int made = 0;
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delay(0, 20000);
    for (int kill = 1; kill <= 40; ++kill) {
        // Manifest first, then the files, as an entry is laid out where this matters.
        for (int missing = entries - static_cast<int>(outbox.pending().size()); missing > 0;
             --missing) {
            const fs::path entry = outbox.outboxURL() / std::to_string(++made);
            fs::create_directories(entry);
            std::ofstream(entry / "manifest.json") << manifest;
            fs::create_directories(entry / "attachments");
            for (int file = 0; file < filesEach; ++file)
                std::ofstream(entry / "attachments" / std::to_string(file));
        }
        Writer remover({"--remove", outbox.outboxURL()});
        ASSERT_EQ(remover.nextId(), "listed");
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        remover.kill();

        for (const auto& share : outbox.pending()) {
            for (const fs::path& file : share.attachmentURLs())
                ASSERT_TRUE(fs::exists(file)) << share.id << " is listed without " << file;
        }
    }
}

TEST_F(OutboxProcessTest, ASnapshotWriterKilledAtAnyMomentLeavesNoTemporaryFileForLong) {
    const fs::path file = folder / "chats.json";
    std::mt19937 random(20261208);
    for (int kill = 1; kill <= 20; ++kill) {
        Writer writer({"--chats", file, "100000"});
        ASSERT_EQ(writer.nextId(), "written");
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100000));
        writer.kill();
        // An hour later, the next writer finds whatever was left.
        for (const fs::directory_entry& item : fs::directory_iterator(folder.path()))
            fs::last_write_time(item, fs::file_time_type::clock::now() - std::chrono::hours(1));
        ChatListSnapshot::write({{1, "next"}}, file, *disk);
        for (const fs::directory_entry& item : fs::directory_iterator(folder.path()))
            EXPECT_FALSE(item.path().filename().native().starts_with(".chats.json")) << item;
    }
}

} // namespace
} // namespace tovin
