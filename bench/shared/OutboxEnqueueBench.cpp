// Queues one 1 GiB attachment durably, with a progress callback, and compares it with what a user
// would do by hand: `cp` of the same file followed by an fsync of the copy, on the same file
// system.

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr std::size_t attachmentSize = std::size_t{1} << 30;

void check(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

FileDescriptor open(const fs::path& file, int flags) {
    FileDescriptor fd(::open(file.c_str(), flags | O_CLOEXEC, 0644));
    check(bool(fd), "cannot open " + file.native());
    return fd;
}

// Incompressible bytes with no holes, so that neither side can copy less than the whole file.
void writeAttachment(const fs::path& file) {
    const FileDescriptor fd = open(file, O_WRONLY | O_CREAT | O_TRUNC);
    std::mt19937_64 random(1);
    std::vector<std::uint64_t> chunk((std::size_t{1} << 20) / sizeof(std::uint64_t));
    const std::size_t chunkBytes = chunk.size() * sizeof(std::uint64_t);
    for (std::size_t written = 0; written < attachmentSize; written += chunkBytes) {
        std::generate(chunk.begin(), chunk.end(), random);
        check(::write(fd.get(), chunk.data(), chunkBytes) == static_cast<ssize_t>(chunkBytes),
              "cannot write " + file.native());
    }
    check(::fsync(fd.get()) == 0, "cannot flush " + file.native());
}

// Reads the whole file once, so that both sides copy from the page cache.
void warm(const fs::path& file) {
    const FileDescriptor fd = open(file, O_RDONLY);
    std::vector<char> buffer(std::size_t{1} << 20);
    while (::read(fd.get(), buffer.data(), buffer.size()) > 0) {
    }
}

void copyAndFlush(const fs::path& source, const fs::path& destination) {
    bench::run({"cp", source.native(), destination.native()});
    check(::fsync(open(destination, O_RDONLY).get()) == 0, "cannot flush " + destination.native());
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseDiskArguments(argc, argv, 9);
    const fs::path& folder = arguments.folder;
    const fs::path source = folder / "attachment.bin";
    const fs::path copy = folder / "copy.bin";
    const auto fileManager = std::make_shared<PosixFileManager>();
    const ShareOutbox outbox(folder / "outbox", fileManager);
    try {
        writeAttachment(source);
        warm(source);

        // With a progress callback, as the share sheet gives one.
        std::uintmax_t reports = 0;
        const auto enqueue = [&] {
            std::string id;
            const double seconds = bench::secondsFor([&] {
                id = outbox.enqueue(-1001234567890, "quarterly figures", std::nullopt,
                                    {{ShareOutbox::Manifest::Attachment::Kind::file, source}},
                                    [&](std::uintmax_t, std::uintmax_t) { ++reports; });
            });
            fileManager->removeItem(outbox.outboxURL() / id);
            // One round's deletions are not written out during the next one's timing.
            bench::flushFileSystem(folder);
            return seconds;
        };
        const auto copyByHand = [&] {
            const double seconds = bench::secondsFor([&] { copyAndFlush(source, copy); });
            fileManager->removeItem(copy);
            bench::flushFileSystem(folder);
            return seconds;
        };
        // One untimed round of each first: the outbox folder, `cp` itself, the first allocation.
        enqueue();
        copyByHand();
        const bench::Samples samples = bench::alternate(arguments.rounds, enqueue, copyByHand);
        bench::removeAll(folder, {"attachment.bin", "copy.bin", "outbox"});

        const double enqueueTime = bench::median(samples.first);
        const double copyTime = bench::median(samples.second);
        std::printf("enqueue of 1 GiB, durably, with progress (%ju reports a run): %.3f s; cp + "
                    "fsync: %.3f s (medians of %d alternating runs)\n",
                    reports / static_cast<std::uintmax_t>(arguments.rounds + 1), enqueueTime,
                    copyTime, arguments.rounds);
        bench::printRatio("enqueue 1 GiB durably with progress / cp + fsync",
                          enqueueTime / copyTime, "target <= 1.1x");
    } catch (const std::exception& error) {
        bench::removeAll(folder, {"attachment.bin", "copy.bin", "outbox"});
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
