// Queues one 1 GiB attachment durably and compares it with what a user would do by hand: `cp` of
// the same file followed by an fsync of the copy, on the same file system.

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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
    std::array<char*, 4> arguments{const_cast<char*>("cp"), const_cast<char*>(source.c_str()),
                                   const_cast<char*>(destination.c_str()), nullptr};
    pid_t child = 0;
    check(::posix_spawnp(&child, "cp", nullptr, nullptr, arguments.data(), environ) == 0,
          "cannot run cp");
    int status = 0;
    check(::waitpid(child, &status, 0) == child, "cannot wait for cp");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("cp failed");
    check(::fsync(open(destination, O_RDONLY).get()) == 0, "cannot flush " + destination.native());
}

// Everything this benchmark made: gigabytes are not left behind, whatever happened.
void removeScratch(const fs::path& folder) {
    std::error_code ignored;
    for (const char* name : {"attachment.bin", "copy.bin", "outbox"})
        fs::remove_all(folder / name, ignored);
}

bool onTmpfs(const fs::path& folder) {
    struct statfs status {};
    return ::statfs(folder.c_str(), &status) == 0 && status.f_type == TMPFS_MAGIC;
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 9);
    const fs::path& folder = arguments.folder;
    if (onTmpfs(folder)) {
        std::fprintf(stderr, "%s is in memory (tmpfs): give a folder on a disk\n", folder.c_str());
        return 2;
    }
    const fs::path source = folder / "attachment.bin";
    const fs::path copy = folder / "copy.bin";
    const auto fileManager = std::make_shared<PosixFileManager>();
    const ShareOutbox outbox(folder / "outbox", fileManager);
    try {
        writeAttachment(source);
        warm(source);

        const auto enqueue = [&] {
            std::string id;
            const double seconds = bench::secondsFor([&] {
                id = outbox.enqueue(-1001234567890, "quarterly figures", std::nullopt,
                                    {{ShareOutbox::Manifest::Attachment::Kind::file, source}});
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
        removeScratch(folder);

        const double enqueueTime = bench::median(samples.first);
        const double copyTime = bench::median(samples.second);
        std::printf("enqueue of 1 GiB, durably: %.3f s; cp + fsync: %.3f s (medians of %d "
                    "alternating runs)\n",
                    enqueueTime, copyTime, arguments.rounds);
        bench::printRatio("enqueue 1 GiB durably / cp + fsync", enqueueTime / copyTime,
                          "target <= 1.1x");
    } catch (const std::exception& error) {
        removeScratch(folder);
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
