// Reads a 100 000-chat snapshot and compares it with the least any reader of that file must do:
// read the same bytes and have simdjson's DOM parser, the fastest validating parse it has, parse
// them into its own tree.

#include "BenchSupport.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"

#include <array>
#include <limits>
#include <random>
#include <simdjson.h>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr std::size_t chatCount = 100'000;

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
    // sides include the same I/O from the page cache, and a new parser each time, as a reader
    // that parses one file has.
    const auto parse = [&] {
        return bench::secondsFor([&] {
            const std::string bytes = fileManager.readFile(file);
            simdjson::dom::parser parser;
            simdjson::dom::element root;
            if (parser.parse(bytes).get(root) != simdjson::SUCCESS)
                std::abort();
        });
    };
    bench::alternate(3, read, parse);
    const bench::Samples samples = bench::alternate(arguments.rounds, read, parse);
    const double mebibytes = static_cast<double>(fs::file_size(file)) / (1 << 20);
    fs::remove(file);

    const double readTime = bench::median(samples.first);
    const double parseTime = bench::median(samples.second);
    std::printf("ChatListSnapshot::read of %zu chats (%.1f MiB): %.2f ms; bare simdjson DOM parse "
                "(%s kernel): %.2f ms (medians of %d alternating runs)\n",
                chatCount, mebibytes, readTime * 1e3,
                simdjson::get_active_implementation()->name().c_str(), parseTime * 1e3,
                arguments.rounds);
    bench::printRatio("snapshot read of 100 000 chats / bare simdjson DOM parse",
                      readTime / parseTime, "target <= 2x");
}
