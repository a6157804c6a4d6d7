// Reads a 100 000-chat snapshot and compares it with the least any reader of that file must do:
// read the same bytes and have simdjson's DOM parser, the fastest validating parse it has, parse
// them into its own tree. Then the memory that one of each takes at its peak, each in a process
// of its own that has just started.

#include "BenchSupport.h"
#include "SampleChats.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <simdjson.h>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr std::size_t chatCount = 100'000;

// The process's resident memory now, or at its peak, in bytes.
std::size_t residentBytes(std::string_view field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field))
            return std::stoul(line.substr(field.size())) * 1024;
    return 0;
}

// Reads (`what` "read") or parses (else) `file` once, and prints by how much that raised the
// process's peak resident memory.
int measurePeak(std::string_view what, const fs::path& file) {
    PosixFileManager fileManager;
    const std::size_t before = residentBytes("VmRSS:");
    if (what == "read") {
        const std::vector<ChatListSnapshot::Entry> entries =
            ChatListSnapshot::read(file, fileManager);
        if (entries.size() != chatCount)
            return 1;
    } else {
        const std::string bytes = fileManager.readFile(file);
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        if (parser.parse(bytes).get(root) != simdjson::SUCCESS)
            return 1;
    }
    std::printf("%zu\n", residentBytes("VmHWM:") - before);
    return 0;
}

double peakMebibytes(const char* program, const char* what, const fs::path& file) {
    std::string command = "'";
    command += program;
    command += "' --peak ";
    command += what;
    command += " '";
    command += file.string();
    command += "'";
    FILE* child = ::popen(command.c_str(), "r");
    std::size_t bytes = 0;
    if (!child || std::fscanf(child, "%zu", &bytes) != 1 || ::pclose(child) != 0) {
        std::fprintf(stderr, "the peak memory of a %s could not be measured\n", what);
        std::exit(1);
    }
    return static_cast<double>(bytes) / (1 << 20);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--peak")
        return measurePeak(argv[2], argv[3]);
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
    const double readPeak = peakMebibytes(argv[0], "read", file);
    const double parsePeak = peakMebibytes(argv[0], "parse", file);
    fs::remove(file);

    const double readTime = bench::median(samples.first);
    const double parseTime = bench::median(samples.second);
    // The kernel chosen at run time scans the text and unescapes strings for either parser; the
    // reader's On-Demand front end, plain scalar code, is compiled for the builtin one.
    const std::string kernel = simdjson::get_active_implementation()->name();
    std::printf("ChatListSnapshot::read of %zu chats (%.1f MiB; %s kernel, front end compiled as "
                "%s): %.2f ms; bare simdjson DOM parse (%s kernel): %.2f ms (medians of %d "
                "alternating runs)\n",
                chatCount, mebibytes, kernel.c_str(),
                simdjson::builtin::implementation().name().c_str(), readTime * 1e3, kernel.c_str(),
                parseTime * 1e3, arguments.rounds);
    std::printf("peak memory of one read: %.1f MiB; of one bare DOM parse: %.1f MiB\n", readPeak,
                parsePeak);
    bench::printRatio("snapshot read of 100 000 chats / bare simdjson DOM parse",
                      readTime / parseTime, "target <= 0.6x");
}
