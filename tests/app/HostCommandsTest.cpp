#include "app/HostCommands.h"

#include "shared/FileManagerWrapper.h"
#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

// Deletes nothing, as on a disk that has become read-only.
struct RemovalFails final : FileManagerWrapper {
    using FileManagerWrapper::FileManagerWrapper;
    void moveItem(const fs::path& item, const fs::path&) override {
        throw fs::filesystem_error("move", item,
                                   std::make_error_code(std::errc::read_only_file_system));
    }
};

// Another host removes each share just before this one does.
struct RemovedMeanwhile final : FileManagerWrapper {
    using FileManagerWrapper::FileManagerWrapper;
    void moveItem(const fs::path& item, const fs::path& destination) override {
        fs::remove_all(item);
        FileManagerWrapper::moveItem(item, destination);
    }
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
        return host::run(arguments, {environment, fileManager, in, out, err, subscribe});
    }

    fs::path outbox() const { return *SharedContainer::outboxDirectory(environment); }

    // A complete entry, as the share sheet leaves it.
    void queue(const std::string& id, std::string_view manifest) const {
        fs::create_directories(outbox() / id);
        std::ofstream(outbox() / id / "manifest.json") << manifest;
    }

    testing::TemporaryFolder folder;
    testing::FakeEnvironment environment;
    std::shared_ptr<FileManager> fileManager = std::make_shared<PosixFileManager>();
    std::ostringstream out;
    std::ostringstream err;
    std::function<std::unique_ptr<host::EnqueueSubscription>()> subscribe =
        []() -> std::unique_ptr<host::EnqueueSubscription> {
        throw std::runtime_error("no bus here");
    };
};

// Signals that each follow one step, such as queueing a share; then the bus goes away.
struct ScriptedSignals final : host::EnqueueSubscription {
    explicit ScriptedSignals(std::vector<std::function<void()>> steps)
        : steps(std::move(steps)) {}
    bool next() override {
        if (done == steps.size())
            return false;
        steps[done++]();
        return true;
    }
    std::vector<std::function<void()>> steps;
    std::size_t done = 0;
};

TEST_F(HostCommandsTest, ChatsWriteReplacesTheListOnlyWithAValidOne) {
    std::ofstream(folder / "chats.json") << R"([
        {"id": 9223372036854775807, "title": "Allotment Society", "unread": 3},
        {"id": -9223372036854775808, "title": "Nadia Orrin"},
        {"id": 1e3, "title": "Line\nbreak \u001b[31mred"}])";
    ASSERT_EQ(run("chats write " + (folder / "chats.json").string()), host::success) << err.str();
    ASSERT_EQ(run("chats list"), host::success);
    EXPECT_EQ(out.str(), "9223372036854775807\tAllotment Society\n"
                         "-9223372036854775808\tNadia Orrin\n"
                         "1000\tLine break  [31mred\n");

    const fs::path snapshot = *SharedContainer::chatSnapshotURL(environment);
    const std::string before = fileManager->readFile(snapshot);
    // Each list, and what its message must name.
    for (const auto& [list, problem] : std::vector<std::pair<std::string, std::string>>{
             {R"({"id": 1, "title": "A"})", "not a JSON array"},
             {R"([{"id": 1, "title": "A"}, {"id": "2", "title": "B"}])", "element 2"},
             {R"([{"id": 3.5, "title": "A"}])", "\"id\""},
             {R"([{"id": 9223372036854775808, "title": "A"}])", "\"id\""},
             {R"([{"id": 1}])", "\"title\""},
             {R"([{"id": 1, "title": null}])", "\"title\""},
             {R"([{"id": 1, "title": "A"})", "not valid JSON"},
             {"", "not valid JSON"}}) {
        EXPECT_EQ(run("chats write -", list), host::misuse) << list;
        EXPECT_NE(err.str().find(problem), std::string::npos) << err.str();
        EXPECT_EQ(fileManager->readFile(snapshot), before) << list;
    }
    EXPECT_EQ(run("chats write " + (folder / "absent.json").string()), host::misuse);
    EXPECT_NE(err.str().find("absent.json"), std::string::npos) << err.str();
    // As /dev/stdin is when standard input is a pipe.
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(run("chats write " + (folder / "pipe").string()), host::misuse);
    EXPECT_NE(err.str().find("not a regular file; use - for standard input"), std::string::npos)
        << err.str();
}

TEST_F(HostCommandsTest, OutboxListShowsEachShareOldestFirst) {
    ASSERT_EQ(run("outbox list --json"), host::success);
    EXPECT_EQ(json::parse(out.str()), json::array());

    // Neither the names nor the order of creation follow the times.
    queue("far-future", R"({"attachments": [], "chatId": 2, "createdAt": 1e300})");
    queue("photo", R"({"attachments": [{"filename": "photo.jpg", "kind": "image"}],
        "chatId": 9223372036854775807, "createdAt": 1000, "text": "first line\r\nsecond line",
        "url": "https://example.org/a?b=c"})");
    queue("pre-epoch", R"({"attachments": [], "chatId": -5, "createdAt": -1.5})");

    ASSERT_EQ(run("outbox list"), host::success);
    EXPECT_EQ(out.str(), "pre-epoch\t1969-12-31T23:59:59.998Z\t-5\t\t\t0\n"
                         "photo\t1970-01-01T00:00:01.000Z\t9223372036854775807\tfirst line\t"
                         "https://example.org/a?b=c\t1\n"
                         "far-future\t1e+300 ms\t2\t\t\t0\n");

    // Compared as text, so that the types count: a float "createdAt", an integral "chatId".
    json photo = json::parse(R"({"id": "photo", "chatId": 9223372036854775807,
        "createdAt": 1000.0, "text": "first line\r\nsecond line", "url": "https://example.org/a?b=c",
        "attachments": [{"filename": "photo.jpg", "kind": "image"}]})");
    photo["folder"] = (outbox() / "photo").string();
    photo["attachmentURLs"] = json::array({(outbox() / "photo/attachments/photo.jpg").string()});
    ASSERT_EQ(run("outbox list --json"), host::success);
    const json list = json::parse(out.str());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].dump(), photo.dump());
    EXPECT_FALSE(list[0].contains("text") || list[0].contains("url")) << list[0];
}

TEST_F(HostCommandsTest, OutboxRemoveDeletesListedEntriesAndReportsTheRest) {
    for (const std::string id : {"first", "kept", "third", "raced"})
        queue(id, R"({"attachments": [], "chatId": 1, "createdAt": 0})");
    fs::create_directories(outbox() / "unfinished" / "attachments"); // no manifest yet

    EXPECT_EQ(run("outbox remove first NO-SUCH-ID third"), host::failure);
    EXPECT_NE(err.str().find("NO-SUCH-ID"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(outbox() / "first") || fs::exists(outbox() / "third"));

    for (const std::string id : {".", "..", "unfinished", "../outbox", "kept/.."})
        EXPECT_EQ(run("outbox remove -- " + id), host::failure) << id;
    const std::shared_ptr<FileManager> disk = fileManager;
    fileManager = std::make_shared<RemovedMeanwhile>(disk);
    EXPECT_EQ(run("outbox remove raced"), host::success) << err.str();
    fileManager = std::make_shared<RemovalFails>(disk);
    EXPECT_EQ(run("outbox remove kept"), host::failure);
    EXPECT_NE(err.str().find("could not remove"), std::string::npos) << err.str();
    EXPECT_TRUE(fs::exists(outbox() / "kept/manifest.json") &&
                fs::exists(outbox() / "unfinished/attachments"));
}

TEST_F(HostCommandsTest, OutboxCleanDeletesOnlyOldLeftovers) {
    const auto make = [&](const std::string& name, bool old) {
        fs::create_directories(outbox() / name / "attachments");
        if (old)
            fs::last_write_time(outbox() / name, fs::file_time_type::clock::now() - 2h);
    };
    queue("queued", R"({"attachments": [], "chatId": 1, "createdAt": 0})");
    fs::last_write_time(outbox() / "queued", fs::file_time_type::clock::now() - 2h);
    make("unfinished", true);
    make(".removing-00000000-0000-4000-8000-000000000001", true);
    make(".someone-else's", true);
    make("fresh", false);

    ASSERT_EQ(run("outbox clean"), host::success) << err.str();
    EXPECT_NE(out.str().find("removed " + (outbox() / "unfinished").string() + '\n'),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("removed " + (outbox() / ".removing-").string()), std::string::npos);
    const std::vector<fs::path> kept{outbox() / ".someone-else's", outbox() / "fresh",
                                     outbox() / "queued"};
    std::vector<fs::path> left{fs::directory_iterator(outbox()), {}};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, kept);

    ASSERT_EQ(run("outbox clean --older-than 0s"), host::success) << err.str();
    EXPECT_EQ(out.str(), "removed " + (outbox() / "fresh").string() + '\n');
}

TEST_F(HostCommandsTest, WatchShowsEachNewShareOnceAndOpenShowsAllOfThem) {
    const auto share = [this](const std::string& id, int createdAt) {
        queue(id, R"({"attachments": [], "chatId": 7, "createdAt": )" + std::to_string(createdAt) +
                      "}");
    };
    share("earlier", 1);
    subscribe = [&] {
        return std::make_unique<ScriptedSignals>(
            std::vector<std::function<void()>>{[&] { share("first", 2); }, [] {},
                                               [&] {
                                                   share("third", 4);
                                                   share("second", 3);
                                               }});
    };
    EXPECT_EQ(run("watch"), host::failure);
    EXPECT_EQ(out.str(), "first\t1970-01-01T00:00:00.002Z\t7\t\t\t0\n"
                         "second\t1970-01-01T00:00:00.003Z\t7\t\t\t0\n"
                         "third\t1970-01-01T00:00:00.004Z\t7\t\t\t0\n");
    EXPECT_NE(err.str().find("waiting for new shares"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the session bus went away"), std::string::npos) << err.str();

    subscribe = []() -> std::unique_ptr<host::EnqueueSubscription> {
        throw std::runtime_error("no bus here");
    };
    EXPECT_EQ(run("watch"), host::failure);
    EXPECT_NE(err.str().find("could not reach the session bus: no bus here"), std::string::npos);

    for (const std::string_view url : {"tovin://share", "tovin://share/"}) {
        ASSERT_EQ(run("open " + std::string(url)), host::success) << err.str();
        const std::string shown = out.str();
        EXPECT_EQ(shown.rfind("earlier\t", 0), 0u) << shown;
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 4) << shown;
    }
}

TEST_F(HostCommandsTest, WithoutAUsableSharedFolderCommandsFail) {
    std::ofstream(folder / "Library") << "a file where the shared folder's parent should be";
    EXPECT_EQ(run("chats write -", "[]"), host::failure);
    EXPECT_NE(err.str().find("could not write the chat list"), std::string::npos) << err.str();

    environment.variables.clear();
    for (const std::string_view line :
         {"chats write -", "chats list", "outbox list", "outbox remove X", "outbox clean", "watch",
          "open tovin://share"}) {
        EXPECT_EQ(run(line, "[]"), host::failure) << line;
        EXPECT_NE(err.str().find("HOME is not set"), std::string::npos) << err.str();
    }
}

TEST_F(HostCommandsTest, MisuseGivesAUsageLineAndHelpTheUsage) {
    for (const std::string_view line : {"",
                                        "share",
                                        "chats",
                                        "chats remove",
                                        "chats write",
                                        "chats list extra",
                                        "outbox list --yaml",
                                        "outbox remove --all",
                                        "outbox remove --",
                                        "outbox clean 1h",
                                        "outbox clean --older-than",
                                        "outbox clean --older-than 1w",
                                        "outbox clean --older-than -1h",
                                        "outbox clean --older-than 1.5h",
                                        "outbox clean --older-than h",
                                        "outbox clean --older-than 36525d",
                                        "watch now",
                                        "open",
                                        "open https://example.org",
                                        "open tovin://chat",
                                        "open tovin://share tovin://share"}) {
        EXPECT_EQ(run(line), host::misuse) << line;
        EXPECT_NE(err.str().find("usage: tovin-host"), std::string::npos) << err.str();
    }

    for (const std::string_view line :
         {"--help", "-h", "chats --help", "chats write --help", "outbox list --json --help",
          "outbox remove --help", "outbox clean --help", "watch --help", "open --help"}) {
        EXPECT_EQ(run(line), host::success) << line;
        EXPECT_EQ(out.str().rfind("usage: tovin-host", 0), 0u) << out.str();
    }
}

} // namespace
} // namespace tovin
