#include "app/ShareCommandLine.h"

#include "app/Version.h"
#include "intake/ValueItemProvider.h"

#include <QCommandLineParser>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <string>
#include <system_error>

namespace tovin::share {

namespace {

namespace fs = std::filesystem;
using Provider = std::shared_ptr<const ItemProvider>;

const QString usage = QStringLiteral("tovin-share [--text TEXT] [--clipboard] [ITEM...]");

// An ITEM as read, or why it cannot be shared.
using Reading = std::variant<Item, QString>;

// Shown in quotes, on one line: control characters, which could move the terminal's cursor,
// become spaces.
QString quoted(QString text) {
    for (QChar& character : text) {
        if (character.category() == QChar::Other_Control)
            character = u' ';
    }
    return u'"' + text + u'"';
}

Message misused(const QString& problem) {
    return {QStringLiteral("tovin-share: %1\nusage: %2\nTry 'tovin-share --help' for more.\n")
                .arg(problem, usage),
            misuse};
}

fs::path localPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

// A file URL that names a file of this computer.
bool isLocalFileURL(const QUrl& url) {
    return url.isLocalFile() && (url.host().isEmpty() || url.host() == u"localhost");
}

// The file of a file URL of this computer, its host left out.
fs::path localPath(const QUrl& url) {
    return localPath(url.path());
}

Reading read(const QString& argument) {
    if (argument == u"-")
        return StandardInput{};
    std::error_code unknown;
    if (fs::path path = localPath(argument); fs::exists(path, unknown))
        return path;
    // Tolerant of what people type, such as spaces in a file URL.
    const QUrl url(argument, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative())
        return QStringLiteral("%1 is neither an existing file nor a URL").arg(quoted(argument));
    if (!url.isLocalFile())
        return url;
    if (!isLocalFileURL(url))
        return QStringLiteral("%1 names a file on another computer").arg(quoted(argument));
    return localPath(url);
}

QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    text.replace(0, text.indexOf(u'\n'), QStringLiteral("Usage: ") + usage);
    return text +
           QStringLiteral(
               "\nWith nothing to share, the sheet says \"Nothing to share.\" and Send queues\n"
               "the caption alone.\n\nExit status: 0 when the share was queued, 1 when it "
               "was cancelled (Cancel,\nEscape, or closing the window), 2 for a wrong "
               "command line or when there is\nno display.\n");
}

void addClipboard(const QClipboard& clipboard, std::vector<Provider>& attachments) {
    const QMimeData* const data = clipboard.mimeData();
    if (data == nullptr)
        return;
    if (QImage image = qvariant_cast<QImage>(data->imageData()); !image.isNull()) {
        attachments.push_back(makeImageProvider(std::move(image)));
        return;
    }
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        attachments.push_back(isLocalFileURL(url) ? makeFileProvider(localPath(url))
                                                  : makeURLProvider(url));
    }
    if (urls.isEmpty() && data->hasText())
        attachments.push_back(makeTextProvider(data->text()));
}

} // namespace

std::variant<Arguments, Message> parse(const QStringList& commandLine) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shares text, links, images and files with one of your tovin chats: pick the\n"
        "chat, add a caption if you like, and press Send. The share is queued for the\n"
        "tovin application."));
    const QCommandLineOption text(QStringLiteral("text"), QStringLiteral("The text to share."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption clipboard(
        QStringLiteral("clipboard"),
        QStringLiteral("Share what the clipboard holds too: an image, else its URLs, else its "
                       "text."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Show the version."));
    parser.addOptions({text, clipboard, help, versionOption});
    parser.addPositionalArgument(
        QStringLiteral("ITEM"),
        QStringLiteral("One attachment each, in order: a file or folder; a URL (a file: URL is a "
                       "file); or - for standard input: an image (PNG, JPEG, GIF, WebP...), UTF-8 "
                       "text, or else a file named after its type, such as shared.pdf."),
        QStringLiteral("[ITEM...]"));

    if (!parser.parse(commandLine))
        return misused(parser.errorText());
    if (parser.isSet(help))
        return Message{helpText(parser), completed};
    if (parser.isSet(versionOption))
        return Message{QStringLiteral("tovin-share %1\n").arg(QString::fromUtf8(version)),
                       completed};

    Arguments arguments;
    const QStringList texts = parser.values(text);
    if (texts.size() > 1)
        return misused(QStringLiteral("--text can be given once"));
    if (!texts.isEmpty())
        arguments.text = texts.front();
    arguments.clipboard = parser.isSet(clipboard);
    bool readsStandardInput = false;
    for (const QString& argument : parser.positionalArguments()) {
        Reading reading = read(argument);
        if (const auto* problem = std::get_if<QString>(&reading))
            return misused(*problem);
        Item& item = std::get<Item>(reading);
        if (std::holds_alternative<StandardInput>(item) && std::exchange(readsStandardInput, true))
            return misused(QStringLiteral("standard input (-) can be shared once"));
        arguments.items.push_back(std::move(item));
    }
    return arguments;
}

InputItem makeInputItem(const Arguments& arguments, const StandardInputProvider& standardInput,
                        const QClipboard& clipboard) {
    InputItem input{arguments.text, {}};
    for (const Item& item : arguments.items) {
        if (const auto* file = std::get_if<fs::path>(&item))
            input.attachments.push_back(makeFileProvider(*file));
        else if (const auto* url = std::get_if<QUrl>(&item))
            input.attachments.push_back(makeURLProvider(*url));
        else
            input.attachments.push_back(standardInput());
    }
    if (arguments.clipboard)
        addClipboard(clipboard, input.attachments);
    return input;
}

} // namespace tovin::share
