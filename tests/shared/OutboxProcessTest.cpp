#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "support/TemporaryFolder.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One run of the outbox writer, its standard output in a pipe.
class Writer {
public:
    Writer(const fs::path& outbox, int count, const std::vector<fs::path>& sources) {
        int pipe[2];
        if (::pipe(pipe) != 0)
            throw std::runtime_error("pipe");
        std::vector<std::string> arguments{OUTBOX_WRITER, outbox, std::to_string(count)};
        for (const fs::path& source : sources)
            arguments.push_back(source);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipe[0]);
        const int error =
            ::posix_spawn(&pid_, OUTBOX_WRITER, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        output_ = pipe[0];
        if (error != 0)
            throw std::system_error(error, std::generic_category(), "posix_spawn");
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() {
        if (pid_ > 0)
            kill();
        ::close(output_);
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

    // Waits until the writer has queued its first share, however slowly it started.
    void awaitFirstShare() {
        while (received_.find('\n') == std::string::npos && receive()) {
        }
    }

    // The ids that enqueue returned before the writer stopped.
    std::vector<std::string> ids() {
        while (receive()) {
        }
        std::vector<std::string> lines;
        std::istringstream stream(received_);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }

private:
    pid_t pid_ = 0;
    int output_ = -1;
    std::string received_;

    bool receive() {
        char buffer[4096];
        const ssize_t count = ::read(output_, buffer, sizeof buffer);
        if (count > 0)
            received_.append(buffer, static_cast<std::size_t>(count));
        return count > 0;
    }
};

class OutboxProcessTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    fs::path outboxURL = folder / "outbox";
    ShareOutbox outbox{outboxURL, std::make_shared<PosixFileManager>()};
    std::vector<fs::path> sources;

    void SetUp() override {
        fs::create_directories(folder / "album");
        std::ofstream(folder / "photo.jpg", std::ios::binary) << std::string(256 * 1024, 'p');
        std::ofstream(folder / "album" / "page.txt") << "page";
        sources = {folder / "photo.jpg", folder / "album"};
    }

    // A listed entry holds everything its writer copied.
    void expectWhole(const ShareOutbox::PendingShare& share) {
        const auto urls = share.attachmentURLs();
        ASSERT_EQ(urls.size(), 2u) << share.id;
        EXPECT_EQ(contents(urls[0]), contents(sources[0])) << share.id;
        EXPECT_EQ(contents(urls[1] / "page.txt"), "page") << share.id;
    }
};

TEST_F(OutboxProcessTest, AWriterKilledAtAnyMomentLeavesOnlyWholeEntriesAndLosesNoReturnedId) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 40000);
    std::set<std::string> returned;
    for (int kill = 1; kill <= 200; ++kill) {
        Writer writer(outboxURL, 0, sources);
        writer.awaitFirstShare();
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        writer.kill();
        for (const std::string& id : writer.ids())
            returned.insert(id);

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
    EXPECT_GT(returned.size(), 200u) << "the writers hardly ran";
}

TEST_F(OutboxProcessTest, WritersListerAndRemoverShareOneOutbox) {
    constexpr int writers = 3;
    constexpr int sharesEach = 40;
    std::vector<std::unique_ptr<Writer>> running;
    for (int i = 0; i < writers; ++i)
        running.push_back(std::make_unique<Writer>(outboxURL, sharesEach, sources));

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
        EXPECT_EQ(writer->wait(), 0);
        for (const std::string& id : writer->ids())
            returned.insert(id);
    }
    drain();
    EXPECT_EQ(returned.size(), std::size_t{writers * sharesEach});
    EXPECT_EQ(removed, returned);
}

} // namespace
} // namespace tovin
