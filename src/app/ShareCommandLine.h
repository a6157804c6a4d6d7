#pragma once

#include "intake/ShareRequest.h"

#include <QClipboard>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

// tovin-share's command line, "tovin-share [--text TEXT] [--clipboard] [ITEM...]", and the one
// input item of the share request that it makes.
namespace tovin::share {

// Exit statuses, as desktop dialog tools have them.
inline constexpr int completed = 0; // the share was queued; also after --help and --version
inline constexpr int cancelled = 1;
inline constexpr int misuse = 2; // a wrong command line, or no display to show the sheet on

// Standard input, given as the ITEM "-".
struct StandardInput {
    bool operator==(const StandardInput&) const = default;
};

// One ITEM: a local file or folder, a link, or standard input.
using Item = std::variant<std::filesystem::path, QUrl, StandardInput>;

// What the command line asks to share.
struct Arguments {
    std::optional<QString> text;
    std::vector<Item> items;
    bool clipboard = false;
};

// Text to print instead of sharing: help or the version, for standard output with `completed`,
// or a usage error, for standard error with `misuse`.
struct Message {
    QString text;
    int status;
};

// Reads the command line, the program's name first. An ITEM that names an existing path, from
// the current folder when relative, is that file; a "file:" URL of this computer is its file;
// any other absolute URL is a link; "-" is standard input, once. Anything else is a usage error
// that names it.
std::variant<Arguments, Message> parse(const QStringList& commandLine);

// Makes the attachment of standard input; called only when an ITEM asks for it.
using StandardInputProvider = std::function<std::shared_ptr<const ItemProvider>()>;

// The request's input item: the text as its content text, one attachment per ITEM in order, then
// what the clipboard holds when asked for (an image, else its URLs, else its text).
InputItem makeInputItem(const Arguments& arguments, const StandardInputProvider& standardInput,
                        const QClipboard& clipboard);

} // namespace tovin::share
