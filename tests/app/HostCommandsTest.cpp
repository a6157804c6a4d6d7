#include "app/HostCommands.h"

#include "shared/FileManagerWrapper.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "shared/SharedContainer.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class RemovalFails final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    void removeItem(const fs::path& item) override {
        throw fs::filesystem_error("remove", item,
                                   std::make_error_code(std::errc::permission_denied));
    }
};

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void save(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

class HostCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { environment.variables["HOME"] = home.string(); }

    int run(std::vector<std::string_view> arguments, const std::string& input = "") {
        std::istringstream in(input);
        out.str("");
        err.str("");
        return host::run(arguments, {environment, fileManager, in, out, err});
    }

    fs::path snapshot() const { return *SharedContainer::chatSnapshotURL(environment); }
    fs::path outboxFolder() const { return *SharedContainer::outboxDirectory(environment); }

    ShareOutbox outboxAt(std::chrono::milliseconds since1970) const {
        return ShareOutbox(outboxFolder(), fileManager, std::make_shared<RandomUUIDSource>(),
                           std::make_shared<testing::FixedClock>(
                               std::chrono::system_clock::time_point(since1970)));
    }

    testing::TemporaryFolder folder;
    const fs::path home = folder.path();
    testing::FakeEnvironment environment;
    std::shared_ptr<FileManager> fileManager = std::make_shared<PosixFileManager>();
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(HostCommandsTest, ChatsWriteThenListShowsEveryChatInFileOrder) {
    save(home / "chats.json", R"([
        {"id": 9223372036854775807, "title": "Allotment Society", "unread": 3},
        {"id": -9223372036854775808, "title": "Nadia Orrin"},
        {"id": 1e3, "title": "Line\nbreak \u001b[31mred"}
    ])");

    ASSERT_EQ(run({"chats", "write", (home / "chats.json").c_str()}), host::success) << err.str();
    EXPECT_NE(out.str().find("3 chats written"), std::string::npos);
    EXPECT_EQ(run({"chats", "list"}), host::success);
    EXPECT_EQ(out.str(), "9223372036854775807\tAllotment Society\n"
                         "-9223372036854775808\tNadia Orrin\n"
                         "1000\tLine break  [31mred\n");
}

struct InvalidChatList {
    std::string name;
    std::string json;
    std::string mentioned; // a word the message must contain

    friend void PrintTo(const InvalidChatList& list, std::ostream* out) { *out << list.name; }
};

class InvalidChatListTest : public HostCommandsTest,
                            public ::testing::WithParamInterface<InvalidChatList> {};

TEST_P(InvalidChatListTest, IsRefusedAndKeepsTheSnapshot) {
    ASSERT_EQ(run({"chats", "write", "-"}, R"([{"id": 1, "title": "Old"}])"), host::success);
    const std::string before = contents(snapshot());

    EXPECT_EQ(run({"chats", "write", "-"}, GetParam().json), host::misuse);
    EXPECT_NE(err.str().find("not a valid chat list"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(GetParam().mentioned), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(contents(snapshot()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Snapshots, InvalidChatListTest,
    ::testing::Values(
        InvalidChatList{"NotAnArray", R"({"id": 1, "title": "A"})", ""},
        InvalidChatList{"IdAsString", R"([{"id": 1, "title": "A"}, {"id": "2", "title": "B"}])",
                        "id"},
        InvalidChatList{"IdWithFraction", R"([{"id": 3.5, "title": "A"}])", "id"},
        InvalidChatList{"IdPastInt64", R"([{"id": 9223372036854775808, "title": "A"}])", "id"},
        InvalidChatList{"IdBelowInt64", R"([{"id": -9223372036854775809, "title": "A"}])", "id"},
        InvalidChatList{"TitleMissing", R"([{"id": 1}])", "title"},
        InvalidChatList{"TitleNull", R"([{"id": 1, "title": null}])", "title"},
        InvalidChatList{"ElementNotObject", R"([[1, "A"]])", ""},
        InvalidChatList{"InvalidJSON", R"([{"id": 1, "title": "A"})", ""},
        InvalidChatList{"Empty", "", ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(HostCommandsTest, ChatsWriteOfUnreadableFileIsRefused) {
    EXPECT_EQ(run({"chats", "write", (home / "absent.json").c_str()}), host::misuse);
    EXPECT_NE(err.str().find("absent.json"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(snapshot()));
}

TEST_F(HostCommandsTest, ChatsWriteThatCannotWriteFails) {
    save(home / "Library", "a file where the shared folder's parent should be");
    EXPECT_EQ(run({"chats", "write", "-"}, "[]"), host::failure);
    EXPECT_NE(err.str().find("could not write the chat list"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
}

TEST_F(HostCommandsTest, OutboxListShowsOneLineEachOldestFirst) {
    const std::string later = outboxAt(std::chrono::milliseconds(1714567890123))
                                  .enqueue(12, std::nullopt, std::nullopt, {});
    save(home / "photo.jpg", "jpeg");
    const std::string earlier =
        outboxAt(std::chrono::milliseconds(1000))
            .enqueue(-5, "first line\r\nsecond line", "https://example.org/a?b=c",
                     {{ShareOutbox::Manifest::Attachment::Kind::image, home / "photo.jpg"}});

    ASSERT_EQ(run({"outbox", "list"}), host::success);
    EXPECT_EQ(out.str(),
              earlier +
                  "\t1970-01-01T00:00:01.000Z\t-5\tfirst line\thttps://example.org/a?b=c\t1\n" +
                  later + "\t2024-05-01T12:51:30.123Z\t12\t\t\t0\n");
}

TEST_F(HostCommandsTest, OutboxListShowsTimesBeforeAndFarAfterTheEpoch) {
    save(outboxFolder() / "before" / "manifest.json",
         R"({"attachments": [], "chatId": 1, "createdAt": -1.5})");
    save(outboxFolder() / "far" / "manifest.json",
         R"({"attachments": [], "chatId": 2, "createdAt": 1e300})");

    ASSERT_EQ(run({"outbox", "list"}), host::success);
    EXPECT_EQ(out.str(), "before\t1969-12-31T23:59:59.998Z\t1\t\t\t0\n"
                         "far\t1e+300 ms\t2\t\t\t0\n");
}

TEST_F(HostCommandsTest, OutboxListJSONHasTheManifestFieldsAndLocations) {
    save(home / "notes.txt", "notes");
    save(home / "photo.png", "png");
    const std::string withFiles =
        outboxAt(std::chrono::milliseconds(2000))
            .enqueue(9223372036854775807, "caption", "https://example.org/x",
                     {{ShareOutbox::Manifest::Attachment::Kind::file, home / "notes.txt"},
                      {ShareOutbox::Manifest::Attachment::Kind::image, home / "photo.png"}});
    const std::string bare =
        outboxAt(std::chrono::milliseconds(1000)).enqueue(3, std::nullopt, std::nullopt, {});

    ASSERT_EQ(run({"outbox", "list", "--json"}), host::success);
    const json list = json::parse(out.str());
    ASSERT_TRUE(list.is_array());
    ASSERT_EQ(list.size(), 2u);

    const json& first = list[0];
    EXPECT_EQ(first["id"], bare);
    EXPECT_EQ(first["folder"], (outboxFolder() / bare).string());
    EXPECT_EQ(first["chatId"], 3);
    EXPECT_TRUE(first["createdAt"].is_number_float());
    EXPECT_EQ(first["createdAt"].get<double>(), 1000.0);
    EXPECT_EQ(first["attachments"], json::array());
    EXPECT_EQ(first["attachmentURLs"], json::array());
    EXPECT_FALSE(first.contains("text"));
    EXPECT_FALSE(first.contains("url"));

    const json& second = list[1];
    const fs::path attachments = outboxFolder() / withFiles / "attachments";
    EXPECT_EQ(second["id"], withFiles);
    EXPECT_TRUE(second["chatId"].is_number_integer());
    EXPECT_EQ(second["chatId"].get<std::int64_t>(), 9223372036854775807);
    EXPECT_EQ(second["text"], "caption");
    EXPECT_EQ(second["url"], "https://example.org/x");
    EXPECT_EQ(second["attachments"], json::parse(R"([{"filename": "notes.txt", "kind": "file"},
                                                      {"filename": "photo.png", "kind": "image"}])"));
    EXPECT_EQ(second["attachmentURLs"], json::array({(attachments / "notes.txt").string(),
                                                     (attachments / "photo.png").string()}));
}

TEST_F(HostCommandsTest, OutboxListOfMissingOutboxIsEmpty) {
    EXPECT_EQ(run({"outbox", "list"}), host::success);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(run({"outbox", "list", "--json"}), host::success);
    EXPECT_EQ(json::parse(out.str()), json::array());
}

TEST_F(HostCommandsTest, OutboxRemoveRemovesTheKnownIdsAndReportsTheUnknown) {
    const ShareOutbox outbox = outboxAt(std::chrono::milliseconds(1000));
    const std::string first = outbox.enqueue(1, std::nullopt, std::nullopt, {});
    const std::string kept = outbox.enqueue(2, std::nullopt, std::nullopt, {});
    const std::string third = outbox.enqueue(3, std::nullopt, std::nullopt, {});

    EXPECT_EQ(run({"outbox", "remove", first, "NO-SUCH-ID", third}), host::failure);
    EXPECT_NE(err.str().find("NO-SUCH-ID"), std::string::npos) << err.str();
    const auto pending = outbox.pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].id, kept);

    EXPECT_EQ(run({"outbox", "remove", kept}), host::success);
    EXPECT_TRUE(outbox.pending().empty());
}

TEST_F(HostCommandsTest, OutboxRemoveNeverReachesOutsideTheListedEntries) {
    const std::string id =
        outboxAt(std::chrono::milliseconds(1000)).enqueue(1, std::nullopt, std::nullopt, {});
    save(outboxFolder() / "unfinished" / "attachments" / "a.txt", "a");

    for (const std::string_view path : {".", "..", "unfinished", "../outbox"})
        EXPECT_EQ(run({"outbox", "remove", "--", path}), host::failure) << path;
    EXPECT_TRUE(fs::exists(outboxFolder() / id / "manifest.json"));
    EXPECT_TRUE(fs::exists(outboxFolder() / "unfinished" / "attachments" / "a.txt"));
}

TEST_F(HostCommandsTest, OutboxRemoveThatFailsIsReported) {
    const std::string id =
        outboxAt(std::chrono::milliseconds(1000)).enqueue(1, std::nullopt, std::nullopt, {});
    fileManager = std::make_shared<RemovalFails>(fileManager);

    EXPECT_EQ(run({"outbox", "remove", id}), host::failure);
    EXPECT_NE(err.str().find("could not remove"), std::string::npos) << err.str();
    EXPECT_TRUE(fs::exists(outboxFolder() / id));
}

TEST_F(HostCommandsTest, WithoutHomeEveryCommandFailsAndHelpStillWorks) {
    environment.variables.clear();
    const std::vector<std::vector<std::string_view>> commands{
        {"chats", "write", "-"}, {"chats", "list"}, {"outbox", "list"}, {"outbox", "remove", "X"}};
    for (const auto& command : commands) {
        EXPECT_EQ(run(command, "[]"), host::failure) << command[1];
        EXPECT_NE(err.str().find("HOME is not set"), std::string::npos) << err.str();
    }
    EXPECT_EQ(run({"--help"}), host::success);
}

TEST_F(HostCommandsTest, MisuseGivesAUsageLineAndDoesNothing) {
    const std::vector<std::vector<std::string_view>> misuses{
        {},
        {"share"},
        {"chats"},
        {"chats", "remove"},
        {"chats", "write"},
        {"chats", "write", "a.json", "b.json"},
        {"chats", "list", "extra"},
        {"outbox", "list", "--yaml"},
        {"outbox", "remove"},
        {"outbox", "remove", "--all"},
        {"outbox", "remove", "--"},
    };
    for (const auto& arguments : misuses) {
        const std::string shown = arguments.empty() ? "(none)" : std::string(arguments.back());
        EXPECT_EQ(run(arguments), host::misuse) << shown;
        EXPECT_NE(err.str().find("usage: tovin-host"), std::string::npos) << shown;
        EXPECT_EQ(out.str(), "") << shown;
    }
    EXPECT_TRUE(fs::is_empty(home));
}

TEST_F(HostCommandsTest, HelpIsOfferedForTheProgramAndEachCommand) {
    const std::vector<std::vector<std::string_view>> requests{
        {"--help"},
        {"-h"},
        {"chats", "--help"},
        {"outbox", "--help"},
        {"chats", "write", "--help"},
        {"chats", "list", "--help"},
        {"outbox", "list", "--json", "--help"},
        {"outbox", "remove", "--help"},
    };
    for (const auto& arguments : requests) {
        EXPECT_EQ(run(arguments), host::success) << arguments.back();
        EXPECT_EQ(out.str().rfind("usage: tovin-host", 0), 0u) << arguments.back();
        EXPECT_EQ(err.str(), "") << arguments.back();
    }
    EXPECT_TRUE(fs::is_empty(home));
}

} // namespace
} // namespace tovin
