// Writes a snapshot of a million chats and compares the most memory the process holds meanwhile
// (the list itself included) with the size of the file written: the writer must not build the
// file, or a document of it, in memory.

#include "BenchSupport.h"
#include "SampleChats.h"
#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"

#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

constexpr std::size_t chatCount = 1'000'000;

// A figure of /proc/self/status, such as "VmRSS" or "VmHWM" (the peak since the last reset), in
// bytes.
std::size_t memoryFigure(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":")) {
            std::size_t kibibytes = 0;
            std::istringstream(line.substr(name.size() + 1)) >> kibibytes;
            return kibibytes * 1024;
        }
    }
    throw std::runtime_error("no " + name + " in /proc/self/status");
}

// Makes the peak figure start again from what the process holds now.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 1);
    const fs::path file = arguments.folder / "chats.json";
    PosixFileManager fileManager;
    const std::vector<ChatListSnapshot::Entry> chats = bench::makeChats(chatCount);

    // The first write of the process, so that no memory freed by an earlier one is reused.
    const std::size_t before = memoryFigure("VmRSS");
    resetPeak();
    const double seconds =
        bench::secondsFor([&] { ChatListSnapshot::write(chats, file, fileManager); });
    const std::size_t peak = memoryFigure("VmHWM");
    const auto size = static_cast<double>(fs::file_size(file));
    const bool readsBack = ChatListSnapshot::read(file, fileManager) == chats;
    fs::remove(file);
    if (!readsBack) {
        std::fprintf(stderr, "the snapshot does not read back as written\n");
        return 1;
    }

    constexpr double mebibyte = 1 << 20;
    std::printf("ChatListSnapshot::write of %zu chats (%.1f MiB) in %.2f s: peak memory %.1f MiB, "
                "of which %.1f MiB the list itself and %.1f MiB the write\n",
                chatCount, size / mebibyte, seconds, static_cast<double>(peak) / mebibyte,
                static_cast<double>(before) / mebibyte,
                static_cast<double>(peak - std::min(peak, before)) / mebibyte);
    bench::printRatio("snapshot write of 1 000 000 chats: peak memory / file size",
                      static_cast<double>(peak) / size, "target <= 2x");
}
