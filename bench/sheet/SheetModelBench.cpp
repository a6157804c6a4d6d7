// The share sheet's model against the least its work needs, both timed in the same run:
// - one search keystroke over 100 000 chats, against a plain find in each of the same prepared
//   titles (the keys are built at the first search; that one-off cost is printed too);
// - loadChats() of 10 000 chats, against a bare ChatListSnapshot::read of the same file.
//
//   tovin-bench-sheet-model SCRATCH-FOLDER [ROUNDS]

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "sheet/ShareSheetModel.h"

#include <array>
#include <map>
#include <random>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

using bench::Home;

// Titles of one to three words: mostly ASCII names, some in other scripts, accents or emoji.
std::vector<ChatListSnapshot::Entry> makeChats(std::size_t count) {
    static constexpr std::array words{
        "Anna",  "Ben",   "Family",    "Project", "Weekend", "Team",     "Climbing", "Notes",
        "Marta", "Jakob", "Book club", "Office",  "Müller",  "Zoë",      "Café",     "Семья",
        "家族",  "Ωmega", "İstanbul",  "🎉",       "2024",    "Saturday", "Ops",      "Lunch"};
    std::mt19937_64 random(7);
    const auto pick = [&](std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(0, high)(random);
    };
    std::vector<ChatListSnapshot::Entry> chats;
    chats.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string title = words[pick(words.size() - 1)];
        for (std::size_t more = pick(2); more > 0; --more)
            title.append(" ").append(words[pick(words.size() - 1)]);
        chats.push_back({static_cast<std::int64_t>(i), std::move(title)});
    }
    return chats;
}

// What a person types, one keystroke at a time, trailing space and all.
const std::array<const char*, 9> keystrokes{"m", "mü", "mül", "a", "an", "ann", "anna ", "z", "zq"};

struct Sheet {
    explicit Sheet(const fs::path& folder, std::size_t chatCount)
        : environment(std::make_shared<Home>(folder / std::to_string(chatCount)))
        , disk(std::make_shared<PosixFileManager>())
        , file(*SharedContainer::chatSnapshotURL(*environment)) {
        ChatListSnapshot::write(makeChats(chatCount), file, *disk);
    }
    std::shared_ptr<const Environment> environment;
    std::shared_ptr<PosixFileManager> disk;
    fs::path file;
};

void benchmarkKeystrokes(const fs::path& folder, int rounds) {
    Sheet sheet(folder, 100'000);
    ShareSheetModel model(sheet.environment, sheet.disk);
    model.loadChats();
    const double firstSearch = bench::secondsFor([&] { model.applyFilter("a"); });

    std::vector<std::u16string> keys;
    for (const ChatListSnapshot::Entry& chat : model.allChats()) {
        const QString key = ChatSearchIndex::searchKey(QString::fromStdString(chat.title));
        keys.emplace_back(QStringView(key).utf16(), key.size());
    }
    std::vector<QString> queries;
    for (const char* keystroke : keystrokes)
        queries.push_back(QString::fromUtf8(keystroke));

    std::map<std::size_t, std::size_t> found;
    const auto filter = [&] {
        return bench::secondsFor([&] {
            for (const QString& query : queries)
                model.applyFilter(query);
        });
    };
    const auto plainFind = [&] {
        return bench::secondsFor([&] {
            for (std::size_t q = 0; q < queries.size(); ++q) {
                const QString query = ChatSearchIndex::query(queries[q]);
                const std::u16string_view wanted(QStringView(query).utf16(), query.size());
                std::vector<std::size_t> rows;
                for (std::size_t i = 0; i < keys.size(); ++i)
                    if (std::u16string_view(keys[i]).find(wanted) != std::u16string_view::npos)
                        rows.push_back(i);
                found[q] = rows.size();
            }
        });
    };
    bench::alternate(3, filter, plainFind);
    const bench::Samples samples = bench::alternate(rounds, filter, plainFind);
    for (std::size_t q = 0; q < queries.size(); ++q) {
        model.applyFilter(queries[q]);
        if (model.filteredCount() != found[q]) {
            std::fprintf(stderr, "the filter and the plain find disagree on \"%s\"\n",
                         keystrokes[q]);
            std::exit(1);
        }
    }

    const double perKeystroke = bench::median(samples.first) / queries.size();
    const double perFind = bench::median(samples.second) / queries.size();
    std::printf("first search over 100 000 chats, preparing every title: %.2f ms\n",
                firstSearch * 1e3);
    std::printf(
        "applyFilter per keystroke over 100 000 chats: %.3f ms; plain find in each prepared "
        "title: %.3f ms (medians of %d alternating runs of %zu keystrokes)\n",
        perKeystroke * 1e3, perFind * 1e3, rounds, queries.size());
    bench::printRatio("keystroke over 100 000 chats / plain find", perKeystroke / perFind,
                      "target <= 1.2x");
}

void benchmarkLoading(const fs::path& folder, int rounds) {
    const Sheet sheet(folder, 10'000);
    const auto load = [&] {
        ShareSheetModel model(sheet.environment, sheet.disk);
        return bench::secondsFor([&] { model.loadChats(); });
    };
    const auto read = [&] {
        std::vector<ChatListSnapshot::Entry> chats;
        return bench::secondsFor([&] { chats = ChatListSnapshot::read(sheet.file, *sheet.disk); });
    };
    bench::alternate(3, load, read);
    const bench::Samples samples = bench::alternate(rounds, load, read);
    const double loadTime = bench::median(samples.first);
    const double readTime = bench::median(samples.second);
    std::printf("loadChats of 10 000 chats: %.3f ms; bare ChatListSnapshot::read: %.3f ms (medians "
                "of %d alternating runs)\n",
                loadTime * 1e3, readTime * 1e3, rounds);
    bench::printRatio("loadChats of 10 000 chats / bare read", loadTime / readTime,
                      "target <= 1.05x");
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 21);
    benchmarkKeystrokes(arguments.folder, arguments.rounds);
    benchmarkLoading(arguments.folder, arguments.rounds * 5);
    fs::remove_all(arguments.folder / "100000");
    fs::remove_all(arguments.folder / "10000");
}
