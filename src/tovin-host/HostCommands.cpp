#include "tovin-host/HostCommands.h"

#include "tovin-host/CommandLine.h"

namespace tovin::host {

int run(std::span<const std::string_view> arguments, const Context& context) {
    CommandLine commandLine(context);
    addChatsCommands(commandLine);
    addOutboxCommands(commandLine);
    addWatchCommand(commandLine);
    addOpenCommand(commandLine);
    return commandLine.run(arguments);
}

} // namespace tovin::host
