#include "tovin-share/CommandLineShareRequest.h"

#include "intake/TypeRegistry.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>
#include <variant>

namespace tovin::share {

CommandLineShareRequest::CommandLineShareRequest(std::optional<QString> text,
                                                 Attachments attachments, bool clipboardToCome,
                                                 std::ostream& diagnostics)
    : inputItems_{{std::move(text), {}}}
    , attachments_(std::move(attachments))
    , clipboardToCome_(clipboardToCome)
    , diagnostics_(diagnostics) {
    if (!clipboardToCome_)
        becomeReady();
}

const std::vector<InputItem>& CommandLineShareRequest::inputItems() const {
    return inputItems_;
}

void CommandLineShareRequest::whenReady(std::function<void()> ready) {
    if (clipboardToCome_)
        ready_ = std::move(ready);
    else
        ShareRequest::whenReady(std::move(ready));
}

QString CommandLineShareRequest::leftOut() const {
    QStringList sentences;
    for (const LeftOut& item : attachments_.leftOut)
        sentences.append(item.sentence());
    return sentences.join(u' ');
}

void CommandLineShareRequest::complete(const std::string& queuedShareID) {
    if (!ended_)
        queuedShareID_ = queuedShareID;
    end(completed);
}

void CommandLineShareRequest::cancel(std::error_code) {
    end(cancelled);
}

void CommandLineShareRequest::addClipboard(Attachments clipboard) {
    if (!std::exchange(clipboardToCome_, false))
        return;
    attachments_.append(std::move(clipboard));
    becomeReady();
    if (ready_)
        ShareRequest::whenReady(std::exchange(ready_, {}));
}

const std::optional<std::string>& CommandLineShareRequest::queuedShareID() const {
    return queuedShareID_;
}

void CommandLineShareRequest::becomeReady() {
    inputItems_.front().attachments = attachments_.providers;
    for (const LeftOut& item : attachments_.leftOut)
        diagnostics_ << "tovin-share: " << item.sentence().toStdString() << '\n';
    const QStringList& links = attachments_.links;
    for (qsizetype i = 0; i + 1 < links.size(); ++i)
        diagnostics_ << "tovin-share: "
                     << tr("left out the link %1: a share holds one link, the last one given")
                            .arg(links[i])
                            .toStdString()
                     << '\n';
    diagnostics_.flush();
    nameLeftOutTexts();
}

void CommandLineShareRequest::nameLeftOutTexts() {
    const std::shared_ptr<const ItemProvider> standardInput = attachments_.standardInput;
    if (!standardInput)
        return nameLeftOutTexts(attachments_.texts);
    // Whether standard input is a text shows once it has been read: its line waits till then.
    standardInput->loadItem(
        TypeIdentifier::plainText,
        ItemCompletion([this, alive = std::weak_ptr(lifetime_)](const LoadedItem& loaded) {
            const bool isText = !loaded.error && (std::holds_alternative<QString>(loaded.item) ||
                                                  std::holds_alternative<QByteArray>(loaded.item));
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, alive, isText] {
                    if (alive.expired())
                        return;
                    QStringList texts = attachments_.texts;
                    if (!isText)
                        texts.removeOne(QString::fromLatin1(Attachments::standardInputText));
                    nameLeftOutTexts(texts);
                },
                Qt::QueuedConnection);
        }));
}

void CommandLineShareRequest::nameLeftOutTexts(const QStringList& texts) {
    for (qsizetype i = 1; i < texts.size(); ++i) {
        const QString said =
            texts[i] == QLatin1String(Attachments::standardInputText)
                ? tr("left out the text from standard input: a share holds one text, the first "
                     "one given")
                //: %1 is a text's opening words in quotes
                : tr("left out the text %1: a share holds one text, the first one given")
                      .arg(texts[i]);
        diagnostics_ << "tovin-share: " << said.toStdString() << '\n';
    }
    diagnostics_.flush();
}

void CommandLineShareRequest::end(int status) {
    if (std::exchange(ended_, true))
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [status] { QCoreApplication::exit(status); },
        Qt::QueuedConnection);
}

} // namespace tovin::share
