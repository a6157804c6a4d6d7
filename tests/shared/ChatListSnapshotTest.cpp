#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using ChatListSnapshot::Entry;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();

TEST(ChatListSnapshot, AcceptsEveryIntegralNumberInRangeExactly) {
    const std::pair<const char*, std::vector<Entry>> cases[] = {
        {"[]", {}},
        {R"([{"id": 3.0, "title": "a"}, {"id": 1e3, "title": "b"}, {"id": 0.3e1, "title": "c"},
             {"id": 12300E-2, "title": "d"}, {"id": -0.0, "title": "e"}])",
         {{3, "a"}, {1000, "b"}, {3, "c"}, {123, "d"}, {0, "e"}}},
        {R"([{"id": 9223372036854775807, "title": "max"}, {"id": -9223372036854775808, "title": "min"},
             {"id": 9223372036854775807.0, "title": "max"}, {"id": -92233720368547758.08e2, "title": "min"}])",
         {{int64Max, "max"}, {int64Min, "min"}, {int64Max, "max"}, {int64Min, "min"}}},
        {R"([{"title": "x\/y", "extra": {"id": "no", "title": null, "deep": [1, {}]}, "id": 7},
             {"id": 7, "title": "x/y"}])",
         {{7, "x/y"}, {7, "x/y"}}},
        {"\xEF\xBB\xBF[{\"id\": 1, \"title\": \"\xC3\xA9t\xC3\xA9\"}]", {{1, "\xC3\xA9t\xC3\xA9"}}},
    };
    for (const auto& [json, entries] : cases)
        EXPECT_EQ(ChatListSnapshot::decode(json), entries) << json;
}

TEST(ChatListSnapshot, RejectsTheWholeListForOneBadElement) {
    for (const char* json : {"",
                             "{}",
                             "3",
                             "null",
                             "[1]",
                             R"([[{"id": 1, "title": "a"}]])",
                             R"([{"id": 1, "title": "a"},)",
                             R"([{"id": 1, "title": "a"}] [])",
                             "[{\"id\": 1, \"title\": \"\xFF\"}]",
                             R"([{"id": "3", "title": "a"}])",
                             R"([{"id": 3.5, "title": "a"}])",
                             R"([{"id": 3.0000000000000000001, "title": "a"}])",
                             R"([{"id": 9223372036854775808, "title": "a"}])",
                             R"([{"id": -9223372036854775809, "title": "a"}])",
                             R"([{"id": 4611686018427387904.5, "title": "a"}])",
                             R"([{"id": 1e19, "title": "a"}])",
                             R"([{"id": null, "title": "a"}])",
                             R"([{"id": [1], "title": "a"}])",
                             R"([{"id": 1}])",
                             R"([{"title": "a"}])",
                             R"([{"id": 1, "title": null}])",
                             R"([{"id": 1, "title": {"text": "a"}}])",
                             R"([{"Id": 1, "title": "a"}])",
                             R"([{"id": 1, "title": "a"}, {"id": 2.5, "title": "b"}])"})
        EXPECT_THROW(ChatListSnapshot::decode(json), DecodeError) << json;

    try {
        ChatListSnapshot::decode(R"([{"id": 1, "title": "a"}, {"id": 2.5, "title": "b"}])");
    } catch (const DecodeError& error) {
        EXPECT_THAT(error.what(), HasSubstr(R"(element 2 has an "id")"));
    }
}

TEST(ChatListSnapshot, ReadsNothingFromWhatIsNotASnapshot) {
    testing::TemporaryFolder folder;
    PosixFileManager disk;
    std::ofstream(folder / "bad.json") << R"([{"id": 1, "title": "a"}, {"id": "2", "title": "b"}])";
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    for (const char* name : {"missing.json", "bad.json", "fifo.json", ""})
        EXPECT_THAT(ChatListSnapshot::read(folder / name, disk), IsEmpty()) << name;
}

TEST(ChatListSnapshot, WritesAtomicallyAndReadsBack) {
    testing::TemporaryFolder folder;
    auto disk = std::make_shared<testing::FailingFileManager>(std::make_shared<PosixFileManager>());
    const fs::path file = folder / "a" / "b" / "chats.json";
    const std::vector<Entry> entries{
        {int64Min, "Ops / Père Noël\t\"\\\x1f"}, {0, ""}, {int64Max, "x"}};

    // A hidden temporary file of a writer killed an hour ago goes; one just made may be in use.
    fs::create_directories(file.parent_path());
    for (const char* name : {".chats.json.0123456789ab", ".chats.json.ba9876543210"})
        std::ofstream(file.parent_path() / name) << "[";
    fs::last_write_time(file.parent_path() / ".chats.json.0123456789ab",
                        fs::file_time_type::clock::now() - std::chrono::hours(1));

    ChatListSnapshot::write(entries, file, *disk);
    EXPECT_EQ(ChatListSnapshot::read(file, *disk), entries);
    EXPECT_EQ(disk->readFile(file), R"([
  {
    "id": -9223372036854775808,
    "title": "Ops \/ Père Noël\t\"\\\u001f"
  },
  {
    "id": 0,
    "title": ""
  },
  {
    "id": 9223372036854775807,
    "title": "x"
  }
])");
    EXPECT_FALSE(fs::exists(file.parent_path() / ".chats.json.0123456789ab"));
    fs::remove(file.parent_path() / ".chats.json.ba9876543210");

    for (const int step : {1, 2}) {
        disk->count = 0;
        disk->failAt = step;
        EXPECT_THROW(ChatListSnapshot::write({{2, "lost"}}, file, *disk), fs::filesystem_error);
    }
    disk->failAt = 0;
    EXPECT_THROW(ChatListSnapshot::write({{2, "\xFF"}}, file, *disk), std::system_error);
    EXPECT_EQ(ChatListSnapshot::read(file, *disk), entries);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file is left beside the snapshot";

    // A bare name is in the current folder.
    const fs::path current = fs::current_path();
    fs::current_path(file.parent_path());
    ChatListSnapshot::write({{3, "here"}}, "chats.json", *disk);
    fs::current_path(current);
    EXPECT_EQ(ChatListSnapshot::read(file, *disk), (std::vector<Entry>{{3, "here"}}));
}

} // namespace
} // namespace tovin
