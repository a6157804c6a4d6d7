#include "shared/Printable.h"
#include "tovin-host/CommandLine.h"
#include "tovin-host/ShareListing.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <ostream>

namespace tovin::host {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view listDetails =
    "Prints one share a line, with tabs between: the id, the time it was queued (UTC),\n"
    "the chat id, the first line of the text, the link, and the number of attachments.\n"
    "With --json, prints one JSON array instead: per share its \"id\", \"folder\", every\n"
    "field of its manifest, and \"attachmentURLs\", the locations of its files.\n";

constexpr std::string_view removeDetails =
    "Deletes the queued shares with these ids, with their files. An id that names no\n"
    "queued share is reported, and the exit status is then 1; the others are removed.\n";

constexpr std::string_view cleanDetails =
    "Deletes, from the outbox, entry folders without a manifest (left by a share that was\n"
    "never finished) and the hidden folders of removals that were cut short, once they\n"
    "have not changed for DURATION (default 1h), and prints each one it deleted.\n"
    "DURATION is a whole number followed by s, m, h or d: 90s, 30m, 1h, 2d. Queued\n"
    "shares are never touched, nor is a share still being written, however long its\n"
    "copy takes: its writer holds a lock on its folder until it is queued.\n";

int outboxRemove(const std::vector<std::string>& ids, const Context& context) {
    const std::optional<ShareOutbox> shares = sharedOutbox(context);
    if (!shares)
        return failure;

    // Only listed entries can be removed, so an id never reaches outside the outbox.
    const std::vector<ShareOutbox::PendingShare> pending = shares->pending();
    int status = success;
    for (const std::string& id : ids) {
        const auto share = std::find_if(pending.begin(), pending.end(),
                                        [&](const auto& candidate) { return candidate.id == id; });
        if (share == pending.end()) {
            status = failed(context, "no pending share has the id " + inQuotes(id));
            continue;
        }
        // The outbox ignores a failed removal; the host must not be told it succeeded.
        shares->remove(*share);
        if (context.fileManager->isDirectory(share->folder))
            status = failed(context, "could not remove " + inQuotes(share->folder.string()));
    }
    return status;
}

// "90s", "30m", "1h", "2d": a whole number and its unit, up to a century; no value otherwise.
std::optional<std::chrono::seconds> parseDuration(std::string_view text) {
    using namespace std::chrono;
    constexpr std::array<std::pair<char, seconds>, 4> units{
        {{'s', seconds(1)}, {'m', minutes(1)}, {'h', hours(1)}, {'d', days(1)}}};
    if (text.size() < 2)
        return std::nullopt;
    const auto unit = std::find_if(units.begin(), units.end(), [&](const auto& candidate) {
        return candidate.first == text.back();
    });
    std::uint32_t count = 0;
    const char* end = text.data() + text.size() - 1;
    // A number too large for the count is refused, not read as 0.
    const auto [last, error] = std::from_chars(text.data(), end, count);
    if (unit == units.end() || error != std::errc() || last != end)
        return std::nullopt;
    const seconds duration = unit->second * count;
    return duration <= years(100) ? std::optional(duration) : std::nullopt;
}

int outboxClean(std::string_view olderThan, const CommandLine& commandLine) {
    const Context& context = commandLine.context();
    const std::optional<std::chrono::seconds> age = parseDuration(olderThan);
    if (!age)
        return commandLine.misused("--older-than needs a DURATION: a whole number followed by s, "
                                   "m, h or d, such as 90s, 30m, 1h or 2d");
    const std::optional<ShareOutbox> shares = sharedOutbox(context);
    if (!shares)
        return failure;
    for (const fs::path& item : shares->removeLeftovers(*age))
        context.out << "removed " << printable(item.string()) << '\n';
    return success;
}

} // namespace

void addOutboxCommands(CommandLine& commandLine) {
    const Context& context = commandLine.context();

    auto asJSON = std::make_shared<bool>(false);
    commandLine
        .add({"outbox", "list", "[--json]", "show the queued shares, oldest first", listDetails},
             [&context, asJSON] { return listShares(context, *asJSON); })
        .add_flag("--json", *asJSON, "one JSON array instead of a line a share");

    auto ids = std::make_shared<std::vector<std::string>>();
    commandLine
        .add({"outbox", "remove", "[--] ID...", "delete queued shares", removeDetails},
             [&context, ids] { return outboxRemove(*ids, context); })
        .add_option("ID", *ids)
        ->required();

    auto olderThan = std::make_shared<std::string>("1h");
    commandLine
        .add({"outbox", "clean", "[--older-than DURATION]",
              "delete what interrupted writers and removals left", cleanDetails},
             [&commandLine, olderThan] { return outboxClean(*olderThan, commandLine); })
        .add_option("--older-than", *olderThan, "how long a leftover has not changed (1h)")
        ->type_name("DURATION")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

} // namespace tovin::host
