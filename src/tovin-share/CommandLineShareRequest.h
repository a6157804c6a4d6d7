#pragma once

#include "intake/ShareRequest.h"
#include "tovin-share/ShareCommandLine.h"

#include <QCoreApplication>
#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tovin::share {

// The share request of one run of tovin-share, whose end is the program's exit status: the
// application's event loop ends with `completed` or `cancelled`, from the event loop's next turn
// so that an end that comes before the loop runs is not lost. Only the first end counts.
//
// Its one input item holds the text and the ITEMs' attachments, then, when the clipboard was
// asked for, the clipboard's, which only come once the window can read it: the request is ready
// when they have. Then standard error names, a line each, what was left out: what could not be
// shared, every link but the last and every text but the first, standard input's once it has
// been read and found to be text.
class CommandLineShareRequest final : public ShareRequest {
    Q_DECLARE_TR_FUNCTIONS(CommandLineShareRequest)

public:
    CommandLineShareRequest(std::optional<QString> text, Attachments attachments,
                            bool clipboardToCome, std::ostream& diagnostics);

    const std::vector<InputItem>& inputItems() const override;
    void whenReady(std::function<void()> ready) override;
    QString leftOut() const override;
    void complete(const std::string& queuedShareID) override;
    // The reason is not shown: the person who cancelled knows it.
    void cancel(std::error_code error) override;

    // Adds the clipboard's attachments, once, and makes the request ready.
    void addClipboard(Attachments clipboard);

    // The outbox entry that completed the request, if one did.
    const std::optional<std::string>& queuedShareID() const;

private:
    void becomeReady();
    void nameLeftOutTexts();
    void nameLeftOutTexts(const QStringList& texts);
    void end(int status);

    std::vector<InputItem> inputItems_;
    Attachments attachments_;
    bool clipboardToCome_;
    std::ostream& diagnostics_;
    std::function<void()> ready_;
    std::optional<std::string> queuedShareID_;
    bool ended_ = false;
    // Expires with the request, for what answers it from another thread.
    std::shared_ptr<const bool> lifetime_ = std::make_shared<const bool>();
};

} // namespace tovin::share
