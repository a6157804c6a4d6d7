#include "shared/ChatListSnapshot.h"
#include "shared/DecodeError.h"
#include "shared/Printable.h"
#include "shared/SharedContainer.h"
#include "tovin-host/CommandLine.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <iterator>

namespace tovin::host {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view writeDetails =
    "Checks that FILE (or standard input, for -) is a JSON array of objects, each with an\n"
    "integral \"id\" in the signed 64-bit range and a string \"title\", and writes it as\n"
    "the shared folder's chats.json. Invalid input is reported, with what is wrong, and\n"
    "leaves the chat list as it was.\n";

constexpr std::string_view listDetails =
    "Prints one chat a line: the id, a tab, the title. A missing or invalid chat list\n"
    "shows no chats, as in the share sheet.\n";

std::string readAll(std::istream& in) {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw std::runtime_error("standard input could not be read");
    return bytes;
}

int chatsWrite(const std::string& source, const Context& context) {
    const std::optional<fs::path> snapshot =
        located(SharedContainer::chatSnapshotURL(context.environment), context);
    if (!snapshot)
        return failure;

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

int chatsList(const Context& context) {
    const std::optional<fs::path> snapshot =
        located(SharedContainer::chatSnapshotURL(context.environment), context);
    if (!snapshot)
        return failure;
    for (const ChatListSnapshot::Entry& chat :
         ChatListSnapshot::read(*snapshot, *context.fileManager))
        context.out << chat.id << '\t' << printable(chat.title) << '\n';
    return success;
}

} // namespace

void addChatsCommands(CommandLine& commandLine) {
    const Context& context = commandLine.context();
    auto source = std::make_shared<std::string>();
    commandLine
        .add({"chats", "write", "FILE|-", "replace the chat list with the JSON array in FILE",
              writeDetails},
             [&context, source] { return chatsWrite(*source, context); })
        .add_option("FILE", *source)
        ->required();
    commandLine.add(
        {"chats", "list", "", "show the chat list as the share sheet reads it", listDetails},
        [&context] { return chatsList(context); });
}

} // namespace tovin::host
