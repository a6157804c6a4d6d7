#pragma once

#include "shared/ShareOutbox.h"
#include "tovin-host/HostCommands.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
class ParseError;
} // namespace CLI

namespace tovin::host {

// The program's name, which begins each of its messages.
inline constexpr std::string_view program = "tovin-host";

// What a command is called and says of itself, in its usage line and its help.
struct Command {
    std::string_view group;
    std::string_view name; // empty for a command that is a group of its own
    std::string synopsis;  // what follows the name in the usage line
    std::string_view summary;
    std::string_view details;
};

// tovin-host's command line: the commands that each group adds, parsed by CLI11, with the help,
// the version and the usage errors of every command. The command named runs after parsing, so
// that --help anywhere on the line answers before any argument is judged.
class CommandLine {
public:
    explicit CommandLine(const Context& context);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Adds `command`, which `run` carries out when the command line names it, and returns it for
    // its options and arguments. A group is made with its first command.
    CLI::App& add(Command command, std::function<int()> run);

    // Parses `arguments` and runs the command they name, returning its exit status.
    int run(std::span<const std::string_view> arguments);

    const Context& context() const { return context_; }

    // Says on standard error what is wrong with the command line of the command being run, with
    // its usage, and returns `misuse`.
    int misused(std::string_view problem) const;

private:
    class Help;

    CLI::App& group(std::string_view name);
    // Every command that `add` made is here, and every group.
    const Command& command(const CLI::App& app) const;
    std::string problem(const CLI::App& app, const CLI::ParseError& error) const;
    int misusedAt(const CLI::App& app, std::string_view problem) const;
    std::string usage(const CLI::App& app) const;
    std::string help(const CLI::App& app) const;

    const Context& context_;
    std::unique_ptr<CLI::App> root_;
    std::vector<std::pair<CLI::App*, Command>> commands_;
    const CLI::App* chosen_ = nullptr;
    std::function<int()> run_;
};

// Adders of each group's commands.
void addChatsCommands(CommandLine& commandLine);
void addOutboxCommands(CommandLine& commandLine);
void addWatchCommand(CommandLine& commandLine);
void addOpenCommand(CommandLine& commandLine);

// Says `message` on standard error and returns `failure`.
int failed(const Context& context, std::string_view message);

std::string inQuotes(std::string_view text);

// Why an operation failed, in words rather than the library's raw text; the caller names the
// file.
std::string reason(const std::exception& error);

// The location, or no value after saying that "HOME" is not set.
std::optional<std::filesystem::path> located(std::optional<std::filesystem::path> location,
                                             const Context& context);

// The outbox of the shared folder, or no value after saying why there is none.
std::optional<ShareOutbox> sharedOutbox(const Context& context);

} // namespace tovin::host
