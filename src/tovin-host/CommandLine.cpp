#include "tovin-host/CommandLine.h"

#include "shared/Printable.h"
#include "shared/SharedContainer.h"
#include "shared/Version.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

namespace tovin::host {

namespace {

namespace fs = std::filesystem;

const std::string versionLine = std::string(program) + ' ' + std::string(version);

bool isGroup(const CLI::App& app) {
    return !app.get_subcommands([](const CLI::App*) { return true; }).empty();
}

// The deepest command that the command line named before it went wrong.
const CLI::App& named(const CLI::App& root) {
    const CLI::App* app = &root;
    while (!app->get_subcommands().empty())
        app = app->get_subcommands().front();
    return *app;
}

// The command's words on the command line, each followed by a space.
std::string words(const CLI::App& app) {
    return app.get_parent() == nullptr ? std::string()
                                       : words(*app.get_parent()) + app.get_name() + ' ';
}

// A usage line's column of summaries, which a long usage leaves for a line of its own.
std::string row(const std::string& left, std::string_view right) {
    constexpr std::size_t column = 26;
    return "  " + left +
           (left.size() < column ? std::string(column - left.size(), ' ')
                                 : '\n' + std::string(column + 2, ' ')) +
           std::string(right) + '\n';
}

std::string optionList(const CLI::App& app) {
    std::string list = "\nOptions:\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional())
            continue;
        std::string names = option->get_name(false, true);
        if (const auto comma = names.find(','); comma != std::string::npos)
            names.insert(comma + 1, " ");
        if (option->get_items_expected_max() > 0)
            names += ' ' + option->get_type_name();
        list += row(names, option->get_description());
    }
    return list;
}

} // namespace

// CLI11 asks this for every help text, which tovin-host words itself.
class CommandLine::Help final : public CLI::FormatterBase {
public:
    explicit Help(const CommandLine& commandLine)
        : commandLine_(commandLine) {}

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        return commandLine_.help(*app);
    }

private:
    const CommandLine& commandLine_;
};

CommandLine::CommandLine(const Context& context)
    : context_(context)
    , root_(std::make_unique<CLI::App>(std::string(), std::string(program))) {
    // Set before any command is added, which takes them over.
    root_->formatter(std::make_shared<Help>(*this));
    root_->set_help_flag("-h,--help", "show this help");
    root_->set_version_flag("--version", versionLine, "show the version");
    root_->require_subcommand(1);
}

CommandLine::~CommandLine() = default;

CLI::App& CommandLine::group(std::string_view name) {
    const auto existing = std::find_if(commands_.begin(), commands_.end(), [&](const auto& entry) {
        return entry.second.group == name && entry.first->get_parent() == root_.get();
    });
    if (existing != commands_.end())
        return *existing->first;
    CLI::App& made = *root_->add_subcommand(std::string(name));
    made.set_version_flag("--version", versionLine, "show the version");
    return made;
}

CLI::App& CommandLine::add(Command command, std::function<int()> run) {
    CLI::App* app = &group(command.group);
    if (!command.name.empty()) {
        if (!isGroup(*app)) {
            app->require_subcommand(1);
            commands_.emplace_back(app, Command{command.group, {}, {}, {}, {}});
        }
        app = app->add_subcommand(std::string(command.name));
        app->set_version_flag("--version", versionLine, "show the version");
    }
    app->callback([this, app, run = std::move(run)] {
        chosen_ = app;
        run_ = run;
    });
    commands_.emplace_back(app, std::move(command));
    return *app;
}

const Command& CommandLine::command(const CLI::App& app) const {
    return std::find_if(commands_.begin(), commands_.end(),
                        [&](const auto& entry) { return entry.first == &app; })
        ->second;
}

int CommandLine::run(std::span<const std::string_view> arguments) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        root_->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        context_.out << root_->help();
        return success;
    } catch (const CLI::CallForVersion& answer) {
        context_.out << answer.what() << '\n';
        return success;
    } catch (const CLI::ParseError& error) {
        const CLI::App& app = named(*root_);
        return misusedAt(app, problem(app, error));
    }
    return run_();
}

// What is wrong, in the command line's terms where they say more than CLI11's.
std::string CommandLine::problem(const CLI::App& app, const CLI::ParseError& error) const {
    const std::vector<std::string> unknown = app.remaining();
    if (isGroup(app)) {
        if (!unknown.empty())
            return "unknown command " + inQuotes(printable(words(app) + unknown.front()));
        return app.get_parent() == nullptr ? "no command given"
                                           : app.get_name() + " needs a command";
    }
    // Named before what is missing, which it may be meant as.
    if (!unknown.empty())
        return (unknown.front().starts_with('-') ? "unknown option " : "unexpected argument ") +
               inQuotes(printable(unknown.front()));
    return error.what();
}

int CommandLine::misused(std::string_view problem) const {
    return misusedAt(*chosen_, problem);
}

int CommandLine::misusedAt(const CLI::App& app, std::string_view problem) const {
    context_.err << program << ": " << problem << "\nusage: " << program << ' ' << usage(app)
                 << "\nTry '" << program << ' ' << words(app) << "--help' for more.\n";
    return misuse;
}

std::string CommandLine::usage(const CLI::App& app) const {
    if (isGroup(app))
        return words(app) + "COMMAND [ARGS...]";
    const std::string synopsis = command(app).synopsis;
    std::string line = words(app);
    line.pop_back();
    return synopsis.empty() ? line : line + ' ' + synopsis;
}

std::string CommandLine::help(const CLI::App& app) const {
    std::string text = "usage: " + std::string(program) + ' ' + usage(app) + "\n\n";
    if (!isGroup(app))
        return text + std::string(command(app).details) + optionList(app);
    if (app.get_parent() == nullptr)
        text += "The host application's side of tovin's share contract: the chat list\n"
                "and the outbox in the shared folder under $HOME, and the signal and the\n"
                "URL that announce each new share.\n\n";
    text += "Commands:\n";
    for (const auto& [each, entry] : commands_) {
        if (!isGroup(*each) && (app.get_parent() == nullptr || entry.group == app.get_name()))
            text += row(usage(*each), entry.summary);
    }
    return text + optionList(app) +
           "\nExit status: 0 on success, 1 when a command could not do all it was asked,\n"
           "2 for a wrong command line or invalid input.\n";
}

int failed(const Context& context, std::string_view message) {
    context.err << program << ": " << message << '\n';
    return failure;
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string reason(const std::exception& error) {
    if (const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&error))
        return fileError->code().message();
    return error.what();
}

std::optional<fs::path> located(std::optional<fs::path> location, const Context& context) {
    if (!location)
        failed(context, "HOME is not set, so tovin's shared folder cannot be found");
    return location;
}

std::optional<ShareOutbox> sharedOutbox(const Context& context) {
    const std::optional<fs::path> folder =
        located(SharedContainer::outboxDirectory(context.environment), context);
    if (!folder)
        return std::nullopt;
    return ShareOutbox(*folder, context.fileManager);
}

} // namespace tovin::host
