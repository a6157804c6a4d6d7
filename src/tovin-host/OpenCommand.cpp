#include "shared/Printable.h"
#include "shared/SharedContainer.h"
#include "tovin-host/CommandLine.h"
#include "tovin-host/ShareListing.h"

#include <CLI/CLI.hpp>

namespace tovin::host {

namespace {

constexpr std::string_view details =
    "The handler of the host URL that the share sheet opens after each share it queues:\n"
    "prints the queued shares, as outbox list does. Any other URL is refused.\n";

// The host URL, as the share sheet opens it or a desktop may pass it on.
bool isHostURL(std::string_view url) {
    if (url.ends_with('/'))
        url.remove_suffix(1);
    return url == SharedContainer::hostURL;
}

int open(const std::string& url, const CommandLine& commandLine) {
    if (!isHostURL(url))
        return commandLine.misused(inQuotes(printable(url)) + " is not tovin's share URL");
    return listShares(commandLine.context(), false);
}

} // namespace

void addOpenCommand(CommandLine& commandLine) {
    auto url = std::make_shared<std::string>();
    commandLine
        .add({"open", "", SharedContainer::hostURL, "show the queued shares, as the host URL asks",
              details},
             [&commandLine, url] { return open(*url, commandLine); })
        .add_option("URL", *url)
        ->required();
}

} // namespace tovin::host
