// Lists outboxes of 1 000 and of 10 000 entries and compares the time per entry: the listing
// must grow linearly with the outbox.

#include "BenchSupport.h"
#include "shared/FileManagerWrapper.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <random>

namespace {

namespace fs = std::filesystem;
using namespace tovin;

// Makes entries through the real `enqueue` without waiting for the disk: the folders and
// manifests are the same as durable ones, only made in seconds instead of minutes.
class UnflushedFileManager final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;

    void synchronize(const fs::path&) override {}
    void writeFile(const fs::path& file, std::string_view bytes, WriteMode) override {
        FileManagerWrapper::writeFile(file, bytes, WriteMode::plain);
    }
};

// Shares as people make them: text alone, a link alone, or a link with a comment.
void fill(const ShareOutbox& outbox, std::size_t count, std::mt19937_64& random) {
    static constexpr const char* texts[] = {
        "See you at 7", "Here is the draft we talked about — comments welcome",
        "Привет! Посмотри это", "\"Quoted\" text with a / slash"};
    static constexpr const char* links[] = {"https://example.org/articles/2024/06/releases",
                                            "https://example.com/watch?v=dQw4w9WgXcQ&t=42s"};
    std::uniform_int_distribution<std::int64_t> chat(-1'000'999'999'999, 9'999'999'999);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t shape = random() % 3;
        const std::optional<std::string> text =
            shape == 1 ? std::nullopt : std::optional<std::string>(texts[random() % 4]);
        const std::optional<std::string> url =
            shape == 0 ? std::nullopt : std::optional<std::string>(links[random() % 2]);
        outbox.enqueue(chat(random), text, url, {});
    }
}

} // namespace

int main(int argc, char** argv) {
    const bench::Arguments arguments = bench::parseArguments(argc, argv, 15);
    const auto fileManager = std::make_shared<PosixFileManager>();
    const auto unflushed = std::make_shared<UnflushedFileManager>(fileManager);
    const ShareOutbox small(arguments.folder / "outbox-1000", fileManager);
    const ShareOutbox large(arguments.folder / "outbox-10000", fileManager);
    std::mt19937_64 random(3);
    fill(ShareOutbox(small.outboxURL(), unflushed), 1'000, random);
    fill(ShareOutbox(large.outboxURL(), unflushed), 10'000, random);
    // Written out now rather than during the timing.
    bench::flushFileSystem(arguments.folder);
    if (small.pending().size() != 1'000 || large.pending().size() != 10'000) {
        std::fprintf(stderr, "the outboxes do not list what was queued\n");
        return 1;
    }

    const auto timePending = [](const ShareOutbox& outbox) {
        return [&outbox] {
            std::vector<ShareOutbox::PendingShare> shares;
            return bench::secondsFor([&] { shares = outbox.pending(); });
        };
    };
    bench::alternate(2, timePending(small), timePending(large));
    const bench::Samples samples =
        bench::alternate(arguments.rounds, timePending(small), timePending(large));
    fileManager->removeItem(small.outboxURL());
    fileManager->removeItem(large.outboxURL());

    const double smallTime = bench::median(samples.first);
    const double largeTime = bench::median(samples.second);
    std::printf("pending() over 1 000 entries: %.2f ms, %.2f us per entry (median of %d runs)\n",
                smallTime * 1e3, smallTime / 1'000 * 1e6, arguments.rounds);
    std::printf("pending() over 10 000 entries: %.2f ms, %.2f us per entry (median of %d runs)\n",
                largeTime * 1e3, largeTime / 10'000 * 1e6, arguments.rounds);
    bench::printRatio("pending() time per entry, 10 000 / 1 000 entries",
                      (largeTime / 10'000) / (smallTime / 1'000), "linear growth: near 1x");
}
