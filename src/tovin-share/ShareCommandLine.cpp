#include "tovin-share/ShareCommandLine.h"

#include "intake/FileURL.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"
#include "shared/PathComponent.h"
#include "shared/Printable.h"
#include "shared/UTF8.h"
#include "shared/Version.h"
#include "sheet/EnqueueFailure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <variant>
#include <vector>

namespace tovin::share {

namespace {

namespace fs = std::filesystem;

// The context in which translators find this file's texts.
struct ShareCommandLine {
    Q_DECLARE_TR_FUNCTIONS(ShareCommandLine)
};

QString usage() {
    //: The command line's form; TEXT and ITEM as the help names them
    return ShareCommandLine::tr("tovin-share [--text TEXT] [--clipboard] [ITEM...]");
}

// A text's opening words, as standard error names a text that is left out.
constexpr qsizetype namedTextCharacters = 40;

// Places that the desktops' file managers browse through their virtual file systems. A URL of
// one names a file behind the person's own login or a place of the desktop, never a page anyone
// could open: shared as a link, it would reach the chat as an address that leads nowhere. FTP
// belongs here: browsers no longer open it, file managers do.
constexpr auto filePlaceSchemes = std::to_array<std::string_view>({
    "admin",    "afc",    "afp",          "archive", "burn",       "cdda", "cifs",
    "computer", "dav",    "davs",         "desktop", "file",       "fish", "ftp",
    "ftps",     "gdrive", "google-drive", "gphoto2", "kdeconnect", "mtp",  "network",
    "nfs",      "obex",   "recent",       "remote",  "sftp",       "smb",  "ssh",
    "tar",      "trash",  "webdav",       "webdavs", "zip",
});

// Arguments pass through Qt's parser as text. A byte that is not part of well-formed UTF-8 rides
// along as a lone surrogate, U+DC80 to U+DCFF, which no well-formed text holds, and becomes the
// same byte again afterwards: a file's name survives the trip whatever its bytes.
QString escaped(std::string_view bytes) {
    QString text;
    while (!bytes.empty()) {
        std::size_t length = 1;
        while (length < 4 && length < bytes.size() && !detail::isUTF8(bytes.substr(0, length)))
            ++length;
        const std::string_view sequence = bytes.substr(0, length);
        if (detail::isUTF8(sequence)) {
            text += QString::fromUtf8(sequence.data(), static_cast<qsizetype>(length));
        } else {
            length = 1;
            text += QChar(0xDC00 + static_cast<unsigned char>(bytes.front()));
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string unescaped(const QString& text) {
    std::string bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes += static_cast<char>(unit - 0xDC00);
        } else {
            const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            bytes += text.mid(i, units).toStdString();
            i += units - 1;
        }
    }
    return bytes;
}

// As shown to a person: bytes that are not UTF-8 become U+FFFD.
QString readable(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// On one line: control characters, which could move the terminal's cursor, become spaces.
QString oneLine(const QString& text) {
    return readable(printable(text.toStdString()));
}

Message misused(const QString& problem) {
    return {ShareCommandLine::tr("tovin-share: %1\nusage: %2\nTry 'tovin-share --help' for more.\n")
                .arg(problem, usage()),
            misuse};
}

// Why a file cannot be shared, said after a colon.
QString reason(int error) {
    return plainReason(std::error_code(error, std::generic_category()))
        .value_or(ShareCommandLine::tr("it cannot be read"));
}

// The last component of `path`, as the person knows the file.
QString nameOf(const fs::path& path) {
    return readable(printable(lastPathComponent(path.native())));
}

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// `name` with each run of U+FFFD as one: decoders differ in how many a run of bad bytes becomes.
std::string withReplacementRunsAsOne(std::string name) {
    const std::string twice = std::string(replacementCharacter) + std::string(replacementCharacter);
    for (std::size_t run; (run = name.find(twice)) != std::string::npos;)
        name.erase(run, replacementCharacter.size());
    return name;
}

// The entries of `folder` whose names, their bytes that are not UTF-8 read as U+FFFD, are `name`:
// two at the most, which is enough to tell one from several.
std::vector<fs::path> entriesNamedAsText(const fs::path& folder, const std::string& name) {
    const std::string wanted = withReplacementRunsAsOne(name);
    std::vector<fs::path> found;
    std::error_code unreadable;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(folder.empty() ? fs::path(".") : folder, unreadable)) {
        const fs::path candidate = entry.path().filename();
        if (detail::isUTF8(candidate.native()) ||
            withReplacementRunsAsOne(detail::replacingInvalidUTF8(candidate.native())) != wanted)
            continue;
        found.push_back(folder / candidate);
        if (found.size() == 2)
            break;
    }
    return found;
}

// The file that `path` names after a file manager that holds names as text has put U+FFFD in
// place of the bytes of a name that is not UTF-8, when each such name reads so for one entry of
// its folder; left out, saying why, when one reads so for several. No value when `path` names
// nothing.
std::optional<Item> fileNamedAsText(const fs::path& path) {
    if (path.native().find(replacementCharacter) == std::string::npos)
        return std::nullopt;
    fs::path found = path.root_path();
    for (const fs::path& component : path.relative_path()) {
        std::error_code unknown;
        if (fs::exists(found / component, unknown)) {
            found /= component;
            continue;
        }
        std::vector<fs::path> entries = entriesNamedAsText(found, component.native());
        if (entries.empty())
            return std::nullopt;
        if (entries.size() > 1)
            return LeftOut{nameOf(path), ShareCommandLine::tr("its name arrived garbled, and "
                                                              "several files fit it")};
        found = std::move(entries.front());
    }
    return found;
}

// The file at `path`, whose status is `status`, when it is there and may be read: a folder must
// also be opened to be copied.
Item localFile(fs::path path, fs::file_status status) {
    if (!fs::exists(status)) {
        std::optional<Item> named = fileNamedAsText(path);
        if (named && std::holds_alternative<LeftOut>(*named))
            return std::move(*named);
        if (named) {
            path = std::get<fs::path>(std::move(*named));
            std::error_code unknown;
            status = fs::status(path, unknown);
        }
    }
    const int access = fs::is_directory(status) ? R_OK | X_OK : R_OK;
    if (::access(path.c_str(), access) != 0)
        return LeftOut{nameOf(path), reason(errno)};
    return path;
}

Item localFile(const fs::path& path) {
    std::error_code unknown;
    return localFile(path, fs::status(path, unknown));
}

bool isFilePlace(const QUrl& url) {
    const std::string scheme = url.scheme().toLower().toStdString();
    return std::ranges::find(filePlaceSchemes, scheme) != filePlaceSchemes.end();
}

QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    text.replace(0, text.indexOf(u'\n'), ShareCommandLine::tr("Usage: %1").arg(usage()));
    //: After the options, in lines of no more than 80 columns; "Nothing to share." as the
    //: sheet says it
    return text + ShareCommandLine::tr(
                      "\nAn ITEM that cannot be shared (gone, unreadable, or in a place such as "
                      "sftp:\nor smb: that is not a folder of this computer) is left out, and the "
                      "sheet and\nstandard error say so. With nothing to share, the sheet says\n"
                      "\"Nothing to share.\" and Send queues the caption alone. Once the share "
                      "is\nqueued, its id is printed on standard output.\n\nExit status: 0 when "
                      "the share was queued, 1 when it was cancelled (Cancel,\nEscape, or closing "
                      "the window), 2 for a wrong command line or when there is\nno display.\n");
}

QString namedText(const QString& text) {
    const QString opening = oneLine(text.left(namedTextCharacters));
    const QString cut = text.size() > opening.size() ? QStringLiteral("…") : QString();
    //: A text given to share, named by its opening words
    return ShareCommandLine::tr("“%1”").arg(opening + cut);
}

// Files, links and what cannot be shared, as the attachments take them.
void add(Item item, Attachments& attachments) {
    if (const auto* file = std::get_if<fs::path>(&item)) {
        attachments.providers.push_back(makeFileProvider(*file));
    } else if (const auto* link = std::get_if<QUrl>(&item)) {
        attachments.links.append(link->toString(QUrl::FullyEncoded));
        attachments.providers.push_back(makeURLProvider(*link));
    } else if (auto* leftOut = std::get_if<LeftOut>(&item)) {
        attachments.leftOut.push_back(std::move(*leftOut));
    }
}

// The encoded bytes of the clipboard's image, in a format this computer decodes, PNG first.
std::optional<std::pair<QByteArray, QString>> encodedImage(const QMimeData& data) {
    const QList<QByteArray> decodable = QImageReader::supportedMimeTypes();
    QStringList formats = data.formats();
    if (formats.removeAll(QStringLiteral("image/png")) > 0)
        formats.prepend(QStringLiteral("image/png"));
    for (const QString& format : formats) {
        if (!format.startsWith(u"image/") || !decodable.contains(format.toLatin1()))
            continue;
        if (QByteArray bytes = data.data(format); !bytes.isEmpty())
            return std::pair(std::move(bytes), format);
    }
    return std::nullopt;
}

} // namespace

QString LeftOut::sentence() const {
    return ShareCommandLine::tr("Could not share “%1”: %2.").arg(name, reason);
}

Item readURL(const QUrl& url) {
    if (url.isLocalFile() && (url.host().isEmpty() || url.host() == u"localhost"))
        return localFile(localPath(url));
    if (!isFilePlace(url))
        return url;
    const fs::path path = localPath(url);
    const QString place = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                                       QUrl::RemoveUserInfo)
                              .toString();
    const QString name = nameOf(path);
    return LeftOut{
        name.isEmpty() || name == u"/" ? oneLine(place) : name,
        ShareCommandLine::tr("it is at %1, not in a folder of this computer").arg(oneLine(place))};
}

Item readItem(const std::string& argument) {
    if (argument == "-")
        return StandardInput{};
    const fs::path path(argument);
    std::error_code unknown;
    const fs::file_status status = fs::status(path, unknown);
    if (fs::exists(status))
        return localFile(path, status);
    if (const QUrl url = urlFromBytes(QByteArray::fromStdString(argument));
        url.isValid() && !url.isRelative())
        return readURL(url);
    return localFile(path, status);
}

void Attachments::append(Attachments more) {
    std::ranges::move(more.providers, std::back_inserter(providers));
    std::ranges::move(more.leftOut, std::back_inserter(leftOut));
    links += more.links;
    texts += more.texts;
    if (more.standardInput)
        standardInput = std::move(more.standardInput);
}

std::variant<Arguments, Message> parse(const std::vector<std::string>& commandLine) {
    QCommandLineParser parser;
    //: In lines of no more than 80 columns
    parser.setApplicationDescription(ShareCommandLine::tr(
        "Shares text, links, images and files with one of your tovin chats: pick the\n"
        "chat, add a caption if you like, and press Send. The share is queued for the\n"
        "tovin application."));
    const QCommandLineOption text(QStringLiteral("text"),
                                  ShareCommandLine::tr("The text to share."),
                                  //: The value of --text, as the command line's form names it
                                  ShareCommandLine::tr("TEXT"));
    const QCommandLineOption clipboard(
        QStringLiteral("clipboard"),
        ShareCommandLine::tr(
            "Share what the clipboard holds too: an image, else its URLs, else its text."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  ShareCommandLine::tr("Show this help."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           ShareCommandLine::tr("Show the version."));
    parser.addOptions({text, clipboard, help, versionOption});
    parser.addPositionalArgument(
        //: One argument to share, as the command line's form names it
        ShareCommandLine::tr("ITEM"),
        ShareCommandLine::tr(
            "One attachment each, in order: a file or folder; a URL (a file: URL is a file); or - "
            "for standard input: an image (PNG, JPEG, GIF, WebP...), UTF-8 text, or else a file "
            "named after its type, such as shared.pdf."),
        ShareCommandLine::tr("[ITEM...]"));

    QStringList arguments;
    for (const std::string& argument : commandLine)
        arguments.append(escaped(argument));
    if (!parser.parse(arguments))
        return misused(readable(unescaped(parser.errorText())));
    if (parser.isSet(help))
        return Message{helpText(parser), completed};
    if (parser.isSet(versionOption))
        return Message{QStringLiteral("tovin-share %1\n").arg(QString::fromUtf8(version)),
                       completed};

    Arguments parsed;
    const QStringList texts = parser.values(text);
    if (texts.size() > 1)
        return misused(ShareCommandLine::tr("--text can be given once"));
    if (!texts.isEmpty())
        parsed.text = readable(unescaped(texts.front()));
    parsed.clipboard = parser.isSet(clipboard);
    bool readsStandardInput = false;
    for (const QString& argument : parser.positionalArguments()) {
        Item item = readItem(unescaped(argument));
        if (std::holds_alternative<StandardInput>(item) && std::exchange(readsStandardInput, true))
            return misused(ShareCommandLine::tr("standard input (-) can be shared once"));
        parsed.items.push_back(std::move(item));
    }
    return parsed;
}

Attachments attachmentsOf(const Arguments& arguments, const StandardInputProvider& standardInput) {
    Attachments attachments;
    // The input item's content text comes before every attachment.
    if (arguments.text && !arguments.text->isEmpty())
        attachments.texts.append(namedText(*arguments.text));
    for (const Item& item : arguments.items) {
        if (!std::holds_alternative<StandardInput>(item)) {
            add(item, attachments);
            continue;
        }
        auto provider = standardInput();
        // Until it is read, a stream may be text or not: the request asks it before naming it.
        if (provider->hasItemConformingTo(TypeIdentifier::plainText)) {
            attachments.texts.append(Attachments::standardInputText);
            attachments.standardInput = provider;
        }
        attachments.providers.push_back(std::move(provider));
    }
    return attachments;
}

Attachments clipboardAttachments(const QClipboard& clipboard) {
    Attachments attachments;
    const QMimeData* const data = clipboard.mimeData();
    if (data == nullptr)
        return attachments;
    if (auto image = encodedImage(*data)) {
        attachments.providers.push_back(
            makeEncodedImageProvider(std::move(image->first), image->second.toStdString()));
        return attachments;
    }
    if (QImage image = qvariant_cast<QImage>(data->imageData()); !image.isNull()) {
        attachments.providers.push_back(makeImageProvider(std::move(image)));
        return attachments;
    }
    // The list's own bytes: Qt's reading of it turns a name that is not UTF-8 into another.
    const QList<QByteArray> lines = data->data(QStringLiteral("text/uri-list")).split('\n');
    bool listed = false;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        listed = true;
        add(readURL(urlFromBytes(line)), attachments);
    }
    if (!listed && data->hasText()) {
        attachments.texts.append(namedText(data->text()));
        attachments.providers.push_back(makeTextProvider(data->text()));
    }
    return attachments;
}

} // namespace tovin::share
