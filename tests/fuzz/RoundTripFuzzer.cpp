#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"
#include "support/TemporaryFolder.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the writers write, the readers read back equal. Inputs holding text that a writer refuses
// (text that is not UTF-8) are passed over; any other failure stops the fuzzer.

namespace {

using tovin::ChatListSnapshot::Entry;
using Manifest = tovin::ShareOutbox::Manifest;
using Kind = Manifest::Attachment::Kind;

std::optional<std::string> optionalText(FuzzedDataProvider& input) {
    if (!input.ConsumeBool())
        return std::nullopt;
    return input.ConsumeRandomLengthString();
}

// A name the writer can give a copy: one path component.
bool isFilename(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

void roundTripManifest(FuzzedDataProvider& input) {
    // The writer records the clock's time: any finite number of milliseconds, fraction included.
    const double createdAt = std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
    if (!std::isfinite(createdAt))
        return;
    Manifest manifest{
        input.ConsumeIntegral<std::int64_t>(),
        optionalText(input),
        optionalText(input),
        {},
        tovin::ShareOutbox::Timestamp(tovin::ShareOutbox::Timestamp::duration(createdAt))};
    while (input.remaining_bytes() > 0) {
        const Kind kind = input.ConsumeBool() ? Kind::image : Kind::file;
        std::string filename = input.ConsumeRandomLengthString();
        if (isFilename(filename))
            manifest.attachments.push_back({kind, std::move(filename)});
    }
    std::string json;
    try {
        json = manifest.encode();
    } catch (const std::exception&) {
        return;
    }
    if (Manifest::decode(json) != manifest)
        std::abort();
}

void roundTripSnapshot(FuzzedDataProvider& input) {
    static const tovin::testing::TemporaryFolder folder;
    static tovin::PosixFileManager files;
    std::vector<Entry> entries;
    while (input.remaining_bytes() > 0)
        entries.push_back(
            {input.ConsumeIntegral<std::int64_t>(), input.ConsumeRandomLengthString()});
    const auto file = folder / "chats.json";
    try {
        tovin::ChatListSnapshot::write(entries, file, files);
    } catch (const std::exception&) {
        return;
    }
    if (tovin::ChatListSnapshot::decode(files.readFile(file)) != entries)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    input.ConsumeBool() ? roundTripManifest(input) : roundTripSnapshot(input);
    return 0;
}
