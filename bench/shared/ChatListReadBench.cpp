// Reads a 100 000-chat snapshot and compares it with the least any reader of that file must do:
// read the same bytes and let the same JSON parser walk them, building nothing.

#include "BenchSupport.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"

#include <array>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace tovin;
using nlohmann::json;

constexpr std::size_t chatCount = 100'000;

// Accepts every event and keeps nothing.
struct IgnoringHandler {
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(json::number_integer_t) { return true; }
    bool number_unsigned(json::number_unsigned_t) { return true; }
    bool number_float(json::number_float_t, const json::string_t&) { return true; }
    bool string(json::string_t&) { return true; }
    bool binary(json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(json::string_t&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }
};

// Ids the way a chat list has them: people with positive ids of up to ten digits, groups with
// negative ids of thirteen, a few old small ids and the extremes of the range.
std::int64_t chatId(std::mt19937_64& random) {
    const auto pick = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    const std::int64_t percent = pick(0, 99);
    if (percent == 0)
        return std::numeric_limits<std::int64_t>::min();
    if (percent == 1)
        return std::numeric_limits<std::int64_t>::max();
    if (percent < 10)
        return pick(1, 99'999);
    if (percent < 40)
        return -1'000'000'000'000 - pick(0, 999'999'999'999);
    return pick(100'000, 9'999'999'999);
}

// Titles of one to a dozen words, mostly ASCII, some in other scripts or with emoji, a few with
// characters the file has to escape (quotes, backslashes, slashes, tabs, line breaks).
std::string chatTitle(std::mt19937_64& random) {
    static constexpr std::array words{
        "Anna",    "Ben",         "Family",        "Project", "Weekend",    "Team",
        "Müller",  "Zoë",         "café",          "Семья",   "Работа",     "家族",
        "東京",    "🎉",           "❤️",        "Ωmega",   "\"Quotes\"", "R&D / Ops",
        "C:\\tmp", "line\tbreak", "first\nsecond", "2024",    "book club",  "—"};
    const auto pick = [&](std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(0, high)(random);
    };
    const std::size_t count = 1 + (pick(9) == 0 ? pick(11) : pick(2));
    std::string title = words[pick(words.size() - 1)];
    for (std::size_t i = 1; i < count; ++i)
        title.append(" ").append(words[pick(words.size() - 1)]);
    return title;
}

std::vector<ChatListSnapshot::Entry> makeChats() {
    std::mt19937_64 random(7);
    std::vector<ChatListSnapshot::Entry> chats;
    chats.reserve(chatCount);
    for (std::size_t i = 0; i < chatCount; ++i)
        chats.push_back({chatId(random), chatTitle(random)});
    return chats;
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 51);
    const fs::path file = arguments.folder / "chats.json";
    PosixFileManager fileManager;
    const std::vector<ChatListSnapshot::Entry> chats = makeChats();
    ChatListSnapshot::write(chats, file, fileManager);
    if (ChatListSnapshot::read(file, fileManager) != chats) {
        std::fprintf(stderr, "the snapshot does not read back as written\n");
        return 1;
    }

    const auto read = [&] {
        // Kept past the timing: handing the list back is timed, freeing it later is not.
        std::vector<ChatListSnapshot::Entry> entries;
        return bench::secondsFor([&] { entries = ChatListSnapshot::read(file, fileManager); });
    };
    // The same read as `ChatListSnapshot::read` makes (PosixFileManager::readFile), so that both
    // sides include the same I/O from the page cache.
    const auto walk = [&] {
        return bench::secondsFor([&] {
            const std::string bytes = fileManager.readFile(file);
            IgnoringHandler handler;
            json::sax_parse(std::string_view(bytes), &handler);
        });
    };
    bench::alternate(3, read, walk);
    const bench::Samples samples = bench::alternate(arguments.rounds, read, walk);
    const double mebibytes = static_cast<double>(fs::file_size(file)) / (1 << 20);
    fs::remove(file);

    const double readTime = bench::median(samples.first);
    const double walkTime = bench::median(samples.second);
    std::printf("ChatListSnapshot::read of %zu chats (%.1f MiB): %.2f ms; bare SAX pass: %.2f ms "
                "(medians of %d alternating runs)\n",
                chatCount, mebibytes, readTime * 1e3, walkTime * 1e3, arguments.rounds);
    bench::printRatio("snapshot read of 100 000 chats / bare SAX pass", readTime / walkTime,
                      "target <= 1.2x");
}
