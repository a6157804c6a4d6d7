#include "tovin-host/CommandLine.h"
#include "tovin-host/ShareListing.h"

#include <CLI/CLI.hpp>
#include <ostream>
#include <set>

namespace tovin::host {

namespace {

constexpr std::string_view details =
    "Waits for the signal that the share sheet sends on the session bus after each share\n"
    "it queues, and prints the shares that are new since the last time, as outbox list\n"
    "does, until interrupted. Fails, with status 1, when there is no session bus.\n";

int watch(const Context& context) {
    const std::optional<ShareOutbox> shares = sharedOutbox(context);
    if (!shares)
        return failure;

    // Taken before subscribing: a share queued in between is then shown late, never missed.
    std::set<std::string, std::less<>> shown;
    for (const ShareOutbox::PendingShare& share : shares->pending())
        shown.insert(share.id);
    std::unique_ptr<EnqueueSubscription> subscription;
    try {
        subscription = context.subscribe();
    } catch (const std::exception& error) {
        return failed(context, "could not reach the session bus: " + std::string(error.what()));
    }
    context.err << program << ": waiting for new shares; Ctrl+C stops\n" << std::flush;

    while (subscription->next()) {
        for (const ShareOutbox::PendingShare& share : shares->pending()) {
            if (shown.insert(share.id).second)
                writeShareLine(share, context.out);
        }
        context.out.flush();
    }
    return failed(context, "the session bus went away");
}

} // namespace

void addWatchCommand(CommandLine& commandLine) {
    const Context& context = commandLine.context();
    commandLine.add({"watch", "", "", "show each new queued share as it arrives", details},
                    [&context] { return watch(context); });
}

} // namespace tovin::host
