#include "tovin-host/HostCommands.h"

#include "shared/ChatListSnapshot.h"
#include "shared/DecodeError.h"
#include "shared/Printable.h"
#include "shared/ShareOutbox.h"
#include "shared/SharedContainer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tovin::host {

namespace {

namespace fs = std::filesystem;
using Arguments = std::span<const std::string_view>;

constexpr std::string_view program = "tovin-host";

struct Command {
    std::string_view group;
    std::string_view name; // empty for a command that is a group of its own

    std::string_view synopsis; // what follows the name
    std::string_view summary;
    std::string_view details;
    int (*run)(Arguments, const Context&);
};

// --- Reporting ------------------------------------------------------------------------------

int misused(const Context& context, std::string_view problem, std::string_view usage) {
    context.err << program << ": " << problem << "\nusage: " << program << ' ' << usage << "\nTry '"
                << program << " --help' for more.\n";
    return misuse;
}

int failed(const Context& context, std::string_view message) {
    context.err << program << ": " << message << '\n';
    return failure;
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Why an operation failed, in words rather than the library's raw text; the caller names the
// file.
std::string reason(const std::exception& error) {
    if (const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&error))
        return fileError->code().message();
    return error.what();
}

// The location, or a message saying why there is none.
std::optional<fs::path> located(std::optional<fs::path> location, const Context& context) {
    if (!location)
        failed(context, "HOME is not set, so tovin's shared folder cannot be found");
    return location;
}

std::string_view firstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// ISO 8601 in UTC with milliseconds; a time outside years 0 to 9999 as its count of milliseconds.
std::string isoTime(ShareOutbox::Timestamp time) {
    using namespace std::chrono;
    const double milliseconds1970 = time.time_since_epoch().count();
    if (!(milliseconds1970 >= -62167219200000.0 && milliseconds1970 < 253402300800000.0)) {
        std::ostringstream raw;
        raw.precision(15);
        raw << milliseconds1970 << " ms";
        return raw.str();
    }
    const sys_time<milliseconds> instant = floor<milliseconds>(time);
    const sys_days day = floor<days>(instant);
    const year_month_day date(day);
    const hh_mm_ss clock(instant - day);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text.data();
}

// --- chats ----------------------------------------------------------------------------------

std::string readAll(std::istream& in) {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw std::runtime_error("standard input could not be read");
    return bytes;
}

int chatsWrite(Arguments arguments, const Context& context) {
    if (arguments.size() != 1)
        return misused(context, "chats write takes one FILE, or - for standard input",
                       "chats write FILE|-");
    const std::optional<fs::path> snapshot =
        located(SharedContainer::chatSnapshotURL(context.environment), context);
    if (!snapshot)
        return failure;

    const std::string_view source = arguments[0];
    const std::string name = source == "-" ? "standard input" : inQuotes(source);
    std::string bytes;
    try {
        bytes = source == "-" ? readAll(context.in) : context.fileManager->readFile(source);
    } catch (const std::exception& error) {
        // /dev/stdin, for one, when standard input is a pipe: it could be read only once.
        const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&error);
        const bool notAFile = fileError && fileError->code() == std::errc::not_supported;
        context.err << program << ": could not read " << name << ": "
                    << (notAFile ? "not a regular file; use - for standard input" : reason(error))
                    << '\n';
        return misuse;
    }

    std::vector<ChatListSnapshot::Entry> entries;
    try {
        entries = ChatListSnapshot::decode(bytes);
    } catch (const DecodeError& error) {
        context.err << program << ": " << name << " is not a valid chat list: " << error.what()
                    << "\nThe chat list was left as it was.\n";
        return misuse;
    }

    try {
        ChatListSnapshot::write(entries, *snapshot, *context.fileManager);
    } catch (const std::exception& error) {
        return failed(context, "could not write the chat list to " + inQuotes(snapshot->string()) +
                                   ": " + reason(error));
    }
    context.out << entries.size() << (entries.size() == 1 ? " chat" : " chats") << " written to "
                << snapshot->string() << '\n';
    return success;
}

int chatsList(Arguments arguments, const Context& context) {
    if (!arguments.empty())
        return misused(context, "chats list takes no arguments", "chats list");
    const std::optional<fs::path> snapshot =
        located(SharedContainer::chatSnapshotURL(context.environment), context);
    if (!snapshot)
        return failure;
    for (const ChatListSnapshot::Entry& chat :
         ChatListSnapshot::read(*snapshot, *context.fileManager))
        context.out << chat.id << '\t' << printable(chat.title) << '\n';
    return success;
}

// --- outbox ---------------------------------------------------------------------------------

std::optional<ShareOutbox> outbox(const Context& context) {
    const std::optional<fs::path> folder =
        located(SharedContainer::outboxDirectory(context.environment), context);
    if (!folder)
        return std::nullopt;
    return ShareOutbox(*folder, context.fileManager);
}

void writeLine(const ShareOutbox::PendingShare& share, std::ostream& out) {
    const ShareOutbox::Manifest& manifest = share.manifest;
    out << printable(share.id) << '\t' << isoTime(manifest.createdAt) << '\t' << manifest.chatId
        << '\t' << printable(firstLine(manifest.text.value_or(""))) << '\t'
        << printable(manifest.url.value_or("")) << '\t' << manifest.attachments.size() << '\n';
}

// The manifest's own JSON, so that keys and forms are exactly those of "manifest.json", with the
// entry's id, folder and attachment locations added.
nlohmann::json shareJSON(const ShareOutbox::PendingShare& share) {
    nlohmann::json json = nlohmann::json::parse(share.manifest.encode());
    json["id"] = share.id;
    json["folder"] = share.folder.string();
    json["attachmentURLs"] = nlohmann::json::array();
    for (const fs::path& location : share.attachmentURLs())
        json["attachmentURLs"].push_back(location.string());
    return json;
}

int outboxList(Arguments arguments, const Context& context) {
    bool asJSON = false;
    for (const std::string_view argument : arguments) {
        if (argument != "--json")
            return misused(context, "unknown option " + inQuotes(argument), "outbox list [--json]");
        asJSON = true;
    }
    const std::optional<ShareOutbox> shares = outbox(context);
    if (!shares)
        return failure;

    const std::vector<ShareOutbox::PendingShare> pending = shares->pending();
    if (asJSON) {
        nlohmann::json list = nlohmann::json::array();
        for (const ShareOutbox::PendingShare& share : pending)
            list.push_back(shareJSON(share));
        // Folder names are bytes; one that is not UTF-8 is shown with replacement characters.
        context.out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        for (const ShareOutbox::PendingShare& share : pending)
            writeLine(share, context.out);
    }
    return success;
}

int outboxRemove(Arguments arguments, const Context& context) {
    constexpr std::string_view usage = "outbox remove [--] ID...";
    std::vector<std::string_view> ids;
    bool optionsEnded = false;
    for (const std::string_view argument : arguments) {
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (!optionsEnded && argument.starts_with('-'))
            return misused(context, "unknown option " + inQuotes(argument), usage);
        else
            ids.push_back(argument);
    }
    if (ids.empty())
        return misused(context, "outbox remove needs at least one ID", usage);
    const std::optional<ShareOutbox> shares = outbox(context);
    if (!shares)
        return failure;

    // Only listed entries can be removed, so an id never reaches outside the outbox.
    const std::vector<ShareOutbox::PendingShare> pending = shares->pending();
    int status = success;
    for (const std::string_view id : ids) {
        const auto share = std::find_if(pending.begin(), pending.end(),
                                        [id](const auto& candidate) { return candidate.id == id; });
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

int outboxClean(Arguments arguments, const Context& context) {
    constexpr std::string_view usage = "outbox clean [--older-than DURATION]";
    std::chrono::seconds age = std::chrono::hours(1);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--older-than")
            return misused(context, "unknown option " + inQuotes(arguments[i]), usage);
        const std::optional<std::chrono::seconds> parsed =
            i + 1 < arguments.size() ? parseDuration(arguments[++i]) : std::nullopt;
        if (!parsed)
            return misused(context,
                           "--older-than needs a DURATION: a whole number followed by s, m, h "
                           "or d, such as 90s, 30m, 1h or 2d",
                           usage);
        age = *parsed;
    }
    const std::optional<ShareOutbox> shares = outbox(context);
    if (!shares)
        return failure;
    for (const fs::path& item : shares->removeLeftovers(age))
        context.out << "removed " << printable(item.string()) << '\n';
    return success;
}

// --- watch and open -------------------------------------------------------------------------

int watch(Arguments arguments, const Context& context) {
    if (!arguments.empty())
        return misused(context, "watch takes no arguments", "watch");
    const std::optional<ShareOutbox> shares = outbox(context);
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
                writeLine(share, context.out);
        }
        context.out.flush();
    }
    return failed(context, "the session bus went away");
}

// The host URL, as the share sheet opens it or a desktop may pass it on.
bool isHostURL(std::string_view url) {
    if (url.ends_with('/'))
        url.remove_suffix(1);
    return url == SharedContainer::hostURL;
}

int open(Arguments arguments, const Context& context) {
    constexpr std::string_view usage = "open tovin://share";
    if (arguments.size() != 1)
        return misused(context, "open takes one URL", usage);
    if (!isHostURL(arguments[0]))
        return misused(context, inQuotes(printable(arguments[0])) + " is not tovin's share URL",
                       usage);
    return outboxList({}, context);
}

// --- Dispatch -------------------------------------------------------------------------------

constexpr std::array commands{
    Command{"chats", "write", "FILE|-", "replace the chat list with the JSON array in FILE",
            "Checks that FILE (or standard input, for -) is a JSON array of objects, each with an\n"
            "integral \"id\" in the signed 64-bit range and a string \"title\", and writes it as\n"
            "the shared folder's chats.json. Invalid input is reported, with what is wrong, and\n"
            "leaves the chat list as it was.\n",
            chatsWrite},
    Command{"chats", "list", "", "show the chat list as the share sheet reads it",
            "Prints one chat a line: the id, a tab, the title. A missing or invalid chat list\n"
            "shows no chats, as in the share sheet.\n",
            chatsList},
    Command{"outbox", "list", "[--json]", "show the queued shares, oldest first",
            "Prints one share a line, with tabs between: the id, the time it was queued (UTC),\n"
            "the chat id, the first line of the text, the link, and the number of attachments.\n"
            "With --json, prints one JSON array instead: per share its \"id\", \"folder\", every\n"
            "field of its manifest, and \"attachmentURLs\", the locations of its files.\n",
            outboxList},
    Command{"outbox", "remove", "[--] ID...", "delete queued shares",
            "Deletes the queued shares with these ids, with their files. An id that names no\n"
            "queued share is reported, and the exit status is then 1; the others are removed.\n",
            outboxRemove},
    Command{"outbox", "clean", "[--older-than DURATION]",
            "delete what interrupted writers and removals left",
            "Deletes, from the outbox, entry folders without a manifest (left by a share that was\n"
            "never finished) and the hidden folders of removals that were cut short, once they\n"
            "have not changed for DURATION (default 1h), and prints each one it deleted.\n"
            "DURATION is a whole number followed by s, m, h or d: 90s, 30m, 1h, 2d. Queued\n"
            "shares are never touched, nor is a share still being written, however long its\n"
            "copy takes: its writer holds a lock on its folder until it is queued.\n",
            outboxClean},
    Command{"watch", "", "", "show each new queued share as it arrives",
            "Waits for the signal that the share sheet sends on the session bus after each share\n"
            "it queues, and prints the shares that are new since the last time, as outbox list\n"
            "does, until interrupted. Fails, with status 1, when there is no session bus.\n",
            watch},
    Command{"open", "", "tovin://share", "show the queued shares, as the host URL asks",
            "The handler of the host URL that the share sheet opens after each share it queues:\n"
            "prints the queued shares, as outbox list does. Any other URL is refused.\n",
            open},
};

bool isHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

std::string usageOf(const Command& command) {
    std::string usage(command.group);
    if (!command.name.empty())
        usage += ' ' + std::string(command.name);
    if (!command.synopsis.empty())
        usage += ' ' + std::string(command.synopsis);
    return usage;
}

void writeCommandList(std::string_view group, std::ostream& out) {
    for (const Command& command : commands) {
        if (group.empty() || command.group == group) {
            const std::string usage = usageOf(command);
            // A usage too long for its column puts the summary on a line of its own.
            out << "  " << usage
                << (usage.size() < 26 ? std::string(26 - usage.size(), ' ')
                                      : '\n' + std::string(28, ' '))
                << command.summary << '\n';
        }
    }
}

int help(std::string_view group, const Context& context) {
    context.out << "usage: " << program << ' ' << group << (group.empty() ? "" : " ")
                << "COMMAND [ARGS...]\n\n";
    if (group.empty())
        context.out << "The host application's side of tovin's share contract: the chat list\n"
                       "and the outbox in the shared folder under $HOME, and the signal and the\n"
                       "URL that announce each new share.\n\n";
    context.out << "Commands:\n";
    writeCommandList(group, context.out);
    context.out << "\nExit status: 0 on success, 1 when a command could not do all it was asked,\n"
                   "2 for a wrong command line or invalid input.\n";
    return success;
}

int help(const Command& command, const Context& context) {
    context.out << "usage: " << program << ' ' << usageOf(command) << "\n\n" << command.details;
    return success;
}

bool isGroup(std::string_view name) {
    return std::any_of(commands.begin(), commands.end(),
                       [name](const Command& command) { return command.group == name; });
}

auto find(std::string_view group, std::string_view name) {
    return std::find_if(commands.begin(), commands.end(), [&](const Command& candidate) {
        return candidate.group == group && candidate.name == name;
    });
}

} // namespace

int run(Arguments arguments, const Context& context) {
    constexpr std::string_view usage = "COMMAND [ARGS...]";
    if (arguments.empty())
        return misused(context, "no command given", usage);
    if (isHelp(arguments[0]))
        return help("", context);
    const std::string_view group = arguments[0];
    if (!isGroup(group))
        return misused(context, "unknown command " + inQuotes(group), usage);

    // A command that is a group of its own takes its arguments right after its name.
    auto command = find(group, "");
    Arguments rest = arguments.subspan(1);
    if (command == commands.end()) {
        const std::string groupUsage = std::string(group) + " COMMAND [ARGS...]";
        if (rest.empty())
            return misused(context, std::string(group) + " needs a command", groupUsage);
        if (isHelp(rest[0]))
            return help(group, context);
        command = find(group, rest[0]);
        if (command == commands.end())
            return misused(context,
                           "unknown command " +
                               inQuotes(std::string(group) + ' ' + std::string(rest[0])),
                           groupUsage);
        rest = rest.subspan(1);
    }
    if (std::any_of(rest.begin(), rest.end(), isHelp))
        return help(*command, context);
    return command->run(rest, context);
}

} // namespace tovin::host
