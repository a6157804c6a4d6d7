#pragma once

#include "shared/ShareOutbox.h"
#include "tovin-host/HostCommands.h"

#include <iosfwd>

// How tovin-host shows queued shares, for outbox list, watch and open.
namespace tovin::host {

// A queued share on one line: its id, the time it was queued (UTC), the chat id, the first line
// of its text, its link and the number of its attachments, with tabs between.
void writeShareLine(const ShareOutbox::PendingShare& share, std::ostream& out);

// Prints the queued shares, oldest first, one a line or, `asJSON`, as one JSON array, and
// returns the exit status.
int listShares(const Context& context, bool asJSON);

} // namespace tovin::host
