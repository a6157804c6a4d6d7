// Queues a folder of 20 000 files of 1 kB durably, with a progress callback as the share sheet
// gives one, and compares it with what a user would do by hand: `cp -r` of the same folder
// followed by `sync -f`, on the same file system.

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr int fileCount = 20'000;
constexpr std::size_t fileSize = 1000;

void makeFolder(const fs::path& folder) {
    fs::create_directories(folder);
    std::mt19937_64 random(5);
    std::string bytes(fileSize, '\0');
    for (int i = 0; i < fileCount; ++i) {
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        std::ofstream(folder / ("IMG_" + std::to_string(10000 + i) + ".txt"), std::ios::binary)
            << bytes;
    }
}

// Reads every file once, so that both sides copy from the page cache.
void warm(const fs::path& folder) {
    PosixFileManager disk;
    for (const fs::directory_entry& file : fs::directory_iterator(folder))
        disk.readFile(file.path());
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseDiskArguments(argc, argv, 5);
    const fs::path& scratch = arguments.folder;
    const fs::path source = scratch / "folder";
    const auto fileManager = std::make_shared<PosixFileManager>();
    const ShareOutbox outbox(scratch / "outbox", fileManager);
    try {
        makeFolder(source);
        bench::flushFileSystem(scratch);
        warm(source);

        // The copies stay until the end: for half a minute after many files are deleted, ext4
        // creates files in their block group many times more slowly, whichever side deleted them.
        const auto enqueue = [&] {
            std::uintmax_t reports = 0;
            const double seconds = bench::secondsFor([&] {
                outbox.enqueue(-1001234567890, std::nullopt, std::nullopt,
                               {{ShareOutbox::Manifest::Attachment::Kind::file, source}},
                               [&](std::uintmax_t, std::uintmax_t) { ++reports; });
            });
            bench::flushFileSystem(scratch);
            return seconds;
        };
        int copies = 0;
        const auto copyByHand = [&] {
            const fs::path copy = scratch / "copies" / std::to_string(++copies);
            const double seconds = bench::secondsFor([&] {
                bench::run({"cp", "-r", source.native(), copy.native()});
                bench::run({"sync", "-f", copy.native()});
            });
            bench::flushFileSystem(scratch);
            return seconds;
        };
        fs::create_directories(scratch / "copies");
        enqueue();
        copyByHand();
        const bench::Samples samples = bench::alternate(arguments.rounds, enqueue, copyByHand);
        bench::removeAll(scratch, {"folder", "copies", "outbox"});

        const double enqueueTime = bench::median(samples.first);
        const double copyTime = bench::median(samples.second);
        std::printf(
            "enqueue of a folder of 20 000 files of 1 kB, durably: %.3f s; cp -r + sync -f: "
            "%.3f s (medians of %d alternating runs)\n",
            enqueueTime, copyTime, arguments.rounds);
        bench::printRatio("enqueue 20 000 small files durably / cp -r + sync -f",
                          enqueueTime / copyTime, "target <= 1.2x");
    } catch (const std::exception& error) {
        bench::removeAll(scratch, {"folder", "copies", "outbox"});
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
