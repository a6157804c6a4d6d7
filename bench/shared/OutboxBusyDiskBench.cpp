// Queues a share of one 6-byte file durably, as the share sheet does, while a second process keeps
// 2 GiB written to the same file system and not yet on disk, and compares it with the same share
// on an idle file system: a small share must not wait for other programs' writes.

#include "BenchSupport.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace tovin;
using namespace std::chrono_literals;

constexpr std::size_t dirtySize = std::size_t{2} << 30;
// A busy round starts only once this much waits to be written, all programs together.
constexpr std::size_t dirtyAtLeast = std::size_t{3} << 29;

// The bytes the system holds written and not yet on disk, from /proc/meminfo.
std::size_t dirtyBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::size_t kilobytes = 0;
    while (meminfo >> key >> kilobytes) {
        if (key == "Dirty:")
            return kilobytes << 10;
        meminfo.ignore(64, '\n');
    }
    return 0;
}

// Writes `file` whole, again and again, never flushing it, so that what the flusher writes out is
// soon unwritten again; says so on `ready` once the file is whole. Runs until killed.
[[noreturn]] void keepDirty(const fs::path& file, int ready) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<char> chunk(std::size_t{1} << 20);
    for (unsigned pass = 1;; ++pass) {
        std::memset(chunk.data(), static_cast<int>(pass), chunk.size());
        for (std::size_t offset = 0; offset < dirtySize; offset += chunk.size()) {
            if (fd < 0 || ::pwrite(fd, chunk.data(), chunk.size(), static_cast<off_t>(offset)) < 0)
                std::_Exit(1);
        }
        if (pass == 1 && ::write(ready, "", 1) != 1)
            std::_Exit(1);
        std::this_thread::sleep_for(2s);
    }
}

// The other program, writing while it lives.
class BusyWriter {
public:
    explicit BusyWriter(const fs::path& file) {
        int pipe[2];
        if (::pipe(pipe) != 0)
            throw std::runtime_error("cannot start the writing process");
        pid_ = ::fork();
        if (pid_ == 0)
            keepDirty(file, pipe[1]);
        ::close(pipe[1]);
        char byte = 0;
        const bool ready = pid_ > 0 && ::read(pipe[0], &byte, 1) == 1;
        ::close(pipe[0]);
        if (!ready)
            throw std::runtime_error("the writing process did not write its file");
    }
    BusyWriter(const BusyWriter&) = delete;
    BusyWriter& operator=(const BusyWriter&) = delete;
    ~BusyWriter() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    // Waits until the disk has its load again; false when the writer has died.
    bool waitForLoad() const {
        while (dirtyBytes() < dirtyAtLeast) {
            if (::waitpid(pid_, nullptr, WNOHANG) != 0)
                return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

private:
    pid_t pid_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseDiskArguments(argc, argv, 9);
    const fs::path& scratch = arguments.folder;
    const fs::path note = scratch / "note.txt";
    const auto fileManager = std::make_shared<PosixFileManager>();
    const ShareOutbox outbox(scratch / "outbox", fileManager);
    try {
        std::ofstream(note) << "hello\n";
        const auto enqueue = [&] {
            std::string id;
            const double seconds = bench::secondsFor([&] {
                id = outbox.enqueue(-1001234567890, "see the note", std::nullopt,
                                    {{ShareOutbox::Manifest::Attachment::Kind::file, note}},
                                    [](std::uintmax_t, std::uintmax_t) {});
            });
            fileManager->removeItem(outbox.outboxURL() / id);
            return seconds;
        };
        enqueue();
        // The idle rounds come first: turning 2 GiB of pending writes back into an idle disk
        // takes most of a minute each time.
        std::vector<double> idle, busy;
        for (int round = 0; round < arguments.rounds; ++round) {
            bench::flushFileSystem(scratch);
            idle.push_back(enqueue());
        }
        std::size_t dirtyTotal = 0;
        {
            const BusyWriter writer(scratch / "dirty.bin");
            for (int round = 0; round < arguments.rounds; ++round) {
                if (!writer.waitForLoad())
                    throw std::runtime_error("the writing process stopped");
                dirtyTotal += dirtyBytes();
                busy.push_back(enqueue());
            }
        }
        bench::removeAll(scratch, {"note.txt", "dirty.bin", "outbox"});

        const double idleTime = bench::median(idle);
        const double busyTime = bench::median(busy);
        std::printf("share of one 6-byte file, durably, while %.1f GiB wait to be written (on "
                    "average): %.4f s; on an idle disk: %.4f s (medians of %d runs each)\n",
                    static_cast<double>(dirtyTotal) / arguments.rounds / (1 << 30), busyTime,
                    idleTime, arguments.rounds);
        bench::printRatio("one-file share, 2 GiB of other writes pending / idle disk",
                          busyTime / idleTime, "target <= 1.5x");
    } catch (const std::exception& error) {
        bench::removeAll(scratch, {"note.txt", "dirty.bin", "outbox"});
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
