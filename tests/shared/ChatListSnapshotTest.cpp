#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using ChatListSnapshot::Entry;

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();

// The integer rules are the manifest's too: both read numbers one way.
TEST(ChatListSnapshot, AcceptsEveryIntegralNumberInRangeExactly) {
    const std::pair<const char*, std::vector<Entry>> cases[] = {
        {"[]", {}},
        {R"([{"id": 3.0, "title": "a"}, {"id": 1e3, "title": "b"}, {"id": 0.3e1, "title": "c"},
             {"id": 12300E-2, "title": "d"}, {"id": -0.0, "title": "e"}])",
         {{3, "a"}, {1000, "b"}, {3, "c"}, {123, "d"}, {0, "e"}}},
        {R"([{"id": 0e-99999999999999999999, "title": "z"}, {"id": 1000e-3, "title": "1"}])",
         {{0, "z"}, {1, "1"}}},
        {R"([{"id": 9223372036854775807, "title": "max"}, {"id": -9223372036854775808, "title": "min"},
             {"id": 9223372036854775807.0, "title": "max"}, {"id": -92233720368547758.08e2, "title": "min"}])",
         {{int64Max, "max"}, {int64Min, "min"}, {int64Max, "max"}, {int64Min, "min"}}},
        {R"([{"title": "x\/y", "extra": {"id": "no", "title": null, "deep": [1, {}]}, "id": 7},
             {"id": 7, "title": "x/y"}])",
         {{7, "x/y"}, {7, "x/y"}}},
        {"\xEF\xBB\xBF[{\"id\": 1, \"title\": \"\xC3\xA9t\xC3\xA9\"}]", {{1, "\xC3\xA9t\xC3\xA9"}}},
        {R"([{"\u0069d": 1, "title": "\ud83d\ude00", "x": [true, false, null, -1.5e-3, 1e400, {"": {}}]}])",
         {{1, "\xF0\x9F\x98\x80"}}},
        // Signs, 18 and 19 digits; an escape at the end of a title and in a key; space after one.
        {R"([{"id": -0, "title": "a\\"}, {"id": 123456789012345678, "t\u0069tle": "\"q\" "},
             {"id": -999999999999999999, "title": "é"  }, {"id": 1234567890123456789, "title": ""}])",
         {{0, "a\\"},
          {123456789012345678, "\"q\" "},
          {-999999999999999999, "é"},
          {1234567890123456789, ""}}},
    };
    for (const auto& [json, entries] : cases)
        EXPECT_EQ(ChatListSnapshot::decode(json), entries) << json;
}

TEST(ChatListSnapshot, RejectsTheWholeListForOneBadElement) {
    using namespace std::string_view_literals;
    const std::string deep = R"([{"id": 1, "title": "a", "x": )" + std::string(100'000, '[');
    const std::string_view cases[] = {
        "", "{}", "[1]", R"([{"id": 1, "title": "a"},)", R"([{"id": 1, "title": "a"}] [])",
        // Malformed where nothing is read still fails: the whole file is the document.
        R"([{"id": 1, "title": "a", "x": [1,]}])", R"([{"id": 1, "title": "a", "x": {"y": tru}}])",
        R"([{"id": 1, "title": "a", "x": nulll}])", R"([{"id": 1, "title": "a", "x": 01}])",
        R"([{"id": 1, "title": "a", "x": "\q"}])", R"([{"id": 1, "title": "a", "x": "\ud800"}])",
        deep, "[{\"id\": 1, \"title\": \"ab\"}]\0garbage"sv, "[{\"id\": 1, \"title\": \"ab\"}]\0"sv,
        "[{\"id\": 1, \"title\": \"a\0b\"}]"sv, "[{\"id\": 1, \"title\": \"\xFF\"}]",
        // Numbers that are not exactly an integer in range, or whose exponent overflows.
        R"([{"id": "3", "title": "a"}])", R"([{"id": 3.5, "title": "a"}])",
        R"([{"id": -01, "title": "a"}])", R"([{"id": 1-2, "title": "a"}])",
        R"([{"id": -, "title": "a"}])", R"([{"id": 12a, "title": "a"}])",
        R"([{"id": 3.0000000000000000001, "title": "a"}])",
        R"([{"id": 9223372036854775808, "title": "a"}])",
        R"([{"id": -9223372036854775809, "title": "a"}])",
        R"([{"id": 4611686018427387904.5, "title": "a"}])", R"([{"id": 1e19, "title": "a"}])",
        R"([{"id": 1.5e-9223372036854775808, "title": "a"}])",
        R"([{"id": 1e9223372036854775807, "title": "a"}])",
        R"([{"id": 1e99999999999999999999, "title": "a"}])", R"([{"id": null, "title": "a"}])",
        R"([{"id": 1}])", R"([{"Id": 1, "title": "a"}])", R"([{"id": 1, "title": null}])",
        R"([{"id": 1, "title": "a"}, {"id": 2.5, "title": "b"}])"};
    for (const std::string_view json : cases)
        EXPECT_THROW(ChatListSnapshot::decode(json), DecodeError) << json;

    // A million-digit id is quoted cut short.
    try {
        ChatListSnapshot::decode(R"([{"title": "a", "id": )" + std::string(1'000'000, '7') + "}]");
        ADD_FAILURE() << "a million-digit id was read";
    } catch (const DecodeError& error) {
        EXPECT_LT(std::string_view(error.what()).size(), 200u) << error.what();
    }
}

TEST(ChatListSnapshot, ReadsNothingFromWhatIsNotASnapshot) {
    testing::TemporaryFolder folder;
    PosixFileManager disk;
    std::ofstream(folder / "bad.json") << R"([{"id": 1, "title": "a"}, {"id": "2", "title": "b"}])";
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    for (const char* name : {"missing.json", "bad.json", "fifo.json", ""})
        EXPECT_TRUE(ChatListSnapshot::read(folder / name, disk).empty()) << name;
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
    // Laid out as the contract's JSON writer lays out the same list.
    nlohmann::json list = nlohmann::json::array();
    for (const Entry& entry : entries)
        list.push_back({{"id", entry.id}, {"title", entry.title}});
    EXPECT_EQ(disk->readFile(file), detail::encodeJSON(list));
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
