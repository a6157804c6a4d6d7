#pragma once

#include "intake/ItemProvider.h"

#include <QClipboard>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// tovin-share's command line, "tovin-share [--text TEXT] [--clipboard] [ITEM...]", and the
// attachments that it and the clipboard make.
namespace tovin::share {

// Exit statuses, as desktop dialog tools have them.
inline constexpr int completed = 0; // the share was queued; also after --help and --version
inline constexpr int cancelled = 1;
inline constexpr int misuse = 2; // a wrong command line, or no display to show the sheet on

// Standard input, given as the ITEM "-".
struct StandardInput {
    bool operator==(const StandardInput&) const = default;
};

// Something given to share that cannot be: its name as the person knows it, and why.
struct LeftOut {
    QString name;
    QString reason;

    // Could not share “NAME”: REASON.
    QString sentence() const;

    bool operator==(const LeftOut&) const = default;
};

// One ITEM: a local file or folder (its path as bytes), a link, standard input, or what cannot
// be shared.
using Item = std::variant<std::filesystem::path, QUrl, StandardInput, LeftOut>;

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

// Reads the command line, the program's name first, each argument as the bytes it was given:
// a file's name need not be UTF-8. Options and their values are text. A wrong option, or "-"
// given twice, is a usage error; an ITEM that cannot be shared is not (see `readItem`).
std::variant<Arguments, Message> parse(const std::vector<std::string>& commandLine);

// One ITEM: "-" is standard input; an existing path, from the current folder when relative, is
// that file; else a URL is read as `readURL` reads it; anything else is a file that is gone.
Item readItem(const std::string& argument);

// A file of this computer ("file:" URL with no host, or "localhost", its path percent-decoded to
// bytes) is that file, if it is there and may be read; a place that the desktop's file managers
// browse (sftp:, smb:, trash:, a "file:" URL of another host...) has no path here and cannot be
// shared: a share names no file by a link; any other URL is a link.
Item readURL(const QUrl& url);

// Attachments of the share, with what they leave out and, in order, the links and the texts
// among them: a share holds one link, the last, and one text, the first, so the others are left
// out too, and named.
struct Attachments {
    std::vector<std::shared_ptr<const ItemProvider>> providers;
    std::vector<LeftOut> leftOut;
    // Each link as it is shared.
    QStringList links;
    // Each text as it is named: its opening words in quotes, or `standardInputText`; the text
    // given with --text, which is the share's when it is not empty, first.
    QStringList texts;
    // Standard input's attachment when it is named among the texts: whether it is text shows
    // only once it has been read.
    std::shared_ptr<const ItemProvider> standardInput;

    static constexpr const char* standardInputText = "from standard input";

    void append(Attachments more);
};

// Makes the attachment of standard input; called only when an ITEM asks for it.
using StandardInputProvider = std::function<std::shared_ptr<const ItemProvider>()>;

// One attachment per ITEM that can be shared, in order; the text goes to the input item apart.
// Standard input's attachment is made only when an ITEM asks for it.
Attachments attachmentsOf(const Arguments& arguments, const StandardInputProvider& standardInput);

// What the clipboard holds: an image (decoded only when loaded), else the entries of its URI
// list, each read as `readURL` reads it, else its text.
Attachments clipboardAttachments(const QClipboard& clipboard);

} // namespace tovin::share
