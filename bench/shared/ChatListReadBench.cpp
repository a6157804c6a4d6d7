// Reads a 100 000-chat snapshot and compares it with the least any reader of that file must do:
// read the same bytes and have simdjson's DOM parser, the fastest validating parse it has, parse
// them into its own tree.

#include "BenchSupport.h"
#include "SampleChats.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"

#include <simdjson.h>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr std::size_t chatCount = 100'000;

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 51);
    const fs::path file = arguments.folder / "chats.json";
    PosixFileManager fileManager;
    const std::vector<ChatListSnapshot::Entry> chats = bench::makeChats(chatCount);
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
