#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using ChatListSnapshot::Entry;
using testing::TemporaryFolder;

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Accepted {
    std::string json;
    std::vector<Entry> entries;
};

class SnapshotAccepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(SnapshotAccepts, Decodes) {
    EXPECT_EQ(ChatListSnapshot::decode(GetParam().json), GetParam().entries);
}

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Numbers, SnapshotAccepts,
    ::testing::Values(
        Accepted{R"([])", {}},
        Accepted{R"([{"id": 3.0, "title": "a"}, {"id": 1e3, "title": "b"}])",
                 {{3, "a"}, {1000, "b"}}},
        Accepted{R"([{"id": 9223372036854775807, "title": "max"},
                     {"id": -9223372036854775808, "title": "min"}])",
                 {{int64Max, "max"}, {int64Min, "min"}}},
        Accepted{R"([{"id": 9223372036854775807.0, "title": "max"},
                     {"id": -92233720368547758.08e2, "title": "min"},
                     {"id": 0.3e1, "title": "a"}, {"id": 12300E-2, "title": "b"},
                     {"id": 0e999999999999999999999, "title": "zero"}])",
                 {{int64Max, "max"}, {int64Min, "min"}, {3, "a"}, {123, "b"}, {0, "zero"}}},
        Accepted{R"([{"title": "x\/y", "extra": {"id": "no", "title": null, "deep": [1, {}]},
                      "id": -0.0, "more": [null]}])",
                 {{0, "x/y"}}},
        Accepted{R"([{"id": 1, "title": "same"}, {"id": 1, "title": "same"}])",
                 {{1, "same"}, {1, "same"}}},
        Accepted{"\xEF\xBB\xBF[{\"id\": 7, \"title\": \"\xC3\xA9t\xC3\xA9\"}]",
                 {{7, "\xC3\xA9t\xC3\xA9"}}}));

class SnapshotRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(SnapshotRejects, WithAReason) {
    try {
        ChatListSnapshot::decode(GetParam());
        FAIL() << "accepted " << GetParam();
    } catch (const DecodeError& error) {
        EXPECT_STRNE(error.what(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SnapshotRejects,
    ::testing::Values("", "   ", "{}", R"({"id": 1, "title": "a"})", "3", R"("chats")", "null",
                      "[1]", R"([[{"id": 1, "title": "a"}]])", R"([{"id": 1, "title": "a"},)",
                      R"([{"id": 1, "title": "a"}] [])", "[{\"id\": 1, \"title\": \"\xFF\"}]"));

INSTANTIATE_TEST_SUITE_P(
    Keys, SnapshotRejects,
    ::testing::Values(R"([{"id": "3", "title": "a"}])", R"([{"id": 3.5, "title": "a"}])",
                      R"([{"id": 9223372036854775808, "title": "a"}])",
                      R"([{"id": -9223372036854775809, "title": "a"}])",
                      R"([{"id": 3.0000000000000000001, "title": "a"}])",
                      R"([{"id": 4611686018427387904.5, "title": "a"}])",
                      R"([{"id": 1e19, "title": "a"}])", R"([{"id": 1e-1, "title": "a"}])",
                      R"([{"id": 1e300, "title": "a"}])", R"([{"id": null, "title": "a"}])",
                      R"([{"id": true, "title": "a"}])", R"([{"id": [1], "title": "a"}])",
                      R"([{"id": 1}])", R"([{"title": "a"}])", R"([{"id": 1, "title": null}])",
                      R"([{"id": 1, "title": 5}])", R"([{"id": 1, "title": {"text": "a"}}])",
                      R"([{"Id": 1, "title": "a"}])"));

TEST(ChatListSnapshot, OneBadElementDiscardsTheWholeList) {
    TemporaryFolder folder;
    PosixFileManager fileManager;
    std::ofstream(folder / "chats.json")
        << R"([{"id": 1, "title": "a"}, {"id": 2.5, "title": "b"}])";
    EXPECT_THAT(ChatListSnapshot::read(folder / "chats.json", fileManager), ::testing::IsEmpty());
    try {
        ChatListSnapshot::decode(R"([{"id": 1, "title": "a"}, {"id": 2.5, "title": "b"}])");
        FAIL();
    } catch (const DecodeError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr("element 2"));
        EXPECT_THAT(error.what(), ::testing::HasSubstr("\"id\""));
    }
}

TEST(ChatListSnapshot, ReadingWhatIsNotASnapshotGivesNothing) {
    TemporaryFolder folder;
    PosixFileManager fileManager;
    EXPECT_THAT(ChatListSnapshot::read(folder / "missing.json", fileManager), ::testing::IsEmpty());
    EXPECT_THAT(ChatListSnapshot::read(folder.path(), fileManager), ::testing::IsEmpty());
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    EXPECT_THAT(ChatListSnapshot::read(folder / "fifo.json", fileManager), ::testing::IsEmpty());
}

TEST(ChatListSnapshot, WriteCreatesTheFolderAndReadsBack) {
    TemporaryFolder folder;
    PosixFileManager fileManager;
    const fs::path file = folder / "a" / "b" / "chats.json";
    const std::vector<Entry> entries{{int64Min, "Père Noël / Ops"}, {0, ""}, {int64Max, "x"}};

    ChatListSnapshot::write(entries, file, fileManager);
    EXPECT_EQ(ChatListSnapshot::read(file, fileManager), entries);
    const std::string text = contents(file);
    EXPECT_LT(text.find("\"id\""), text.find("\"title\""));
    EXPECT_NE(text.find('\n'), std::string::npos);
    EXPECT_NE(text.find(R"(Ops)"), std::string::npos);
    EXPECT_NE(text.find(R"(\/ Ops)"), std::string::npos);

    ChatListSnapshot::write({}, file, fileManager);
    EXPECT_THAT(ChatListSnapshot::read(file, fileManager), ::testing::IsEmpty());
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file is left beside the snapshot";
}

TEST(ChatListSnapshot, AFailedWriteKeepsThePreviousSnapshot) {
    TemporaryFolder folder;
    auto fileManager =
        std::make_shared<testing::FailingFileManager>(std::make_shared<PosixFileManager>());
    const fs::path file = folder / "chats.json";
    ChatListSnapshot::write({{1, "kept"}}, file, *fileManager);

    for (const int step : {1, 2}) {
        fileManager->count = 0;
        fileManager->failAt = step;
        EXPECT_THROW(ChatListSnapshot::write({{2, "lost"}}, file, *fileManager),
                     fs::filesystem_error);
        fileManager->failAt = 0;
        EXPECT_EQ(ChatListSnapshot::read(file, *fileManager), (std::vector<Entry>{{1, "kept"}}));
    }
    EXPECT_THROW(ChatListSnapshot::write({{2, "\xFF"}}, file, *fileManager), std::exception);
    EXPECT_EQ(ChatListSnapshot::read(file, *fileManager), (std::vector<Entry>{{1, "kept"}}));
}

} // namespace
} // namespace tovin
