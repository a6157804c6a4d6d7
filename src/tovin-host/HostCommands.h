#pragma once

#include "shared/Environment.h"
#include "shared/FileManager.h"
#include "tovin-host/EnqueueSubscription.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string_view>

// tovin-host: the host application's side of the share contract on the command line. It writes
// the chat list snapshot, lists and removes queued shares, and deletes what interrupted writers
// left in the outbox, in the shared folder under "HOME"; and it shows what arrives, as the
// enqueue signal and the host URL announce it.
namespace tovin::host {

// Exit statuses.
inline constexpr int success = 0;
// The command ran but could not do all it was asked (an unknown id, a failed write, no "HOME",
// no session bus).
inline constexpr int failure = 1;
// Nothing was done: an unknown command, wrong arguments, or input that is not valid.
inline constexpr int misuse = 2;

// What a command works with: the shared folder comes from the environment's "HOME".
struct Context {
    const Environment& environment;
    std::shared_ptr<FileManager> fileManager;
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Subscribes to the enqueue signal; throws `std::runtime_error`, saying why, when the session
    // bus cannot be reached.
    std::function<std::unique_ptr<EnqueueSubscription>()> subscribe;
};

// Runs one command line, given without the program's name, and returns its exit status. Help
// goes to `out`; problems go to `err`, with a usage line when the command line is at fault.
int run(std::span<const std::string_view> arguments, const Context& context);

} // namespace tovin::host
