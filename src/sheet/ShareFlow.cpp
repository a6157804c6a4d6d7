#include "sheet/ShareFlow.h"

#include "intake/FileURL.h"
#include "shared/SharedContainer.h"
#include "sheet/CancelError.h"
#include "sheet/EnqueueFailure.h"

#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <utility>

namespace tovin {

namespace fs = std::filesystem;

namespace {

constexpr int progressInterval = 100;

std::optional<std::string> utf8(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    return text->toStdString();
}

} // namespace

ShareFlow::ShareFlow(ShareSheetModel& model, SheetServices services, QObject* parent)
    : QObject(parent)
    , model_(model)
    , services_(std::move(services))
    , intake_(model_, services_.fileManager, services_.uuids)
    , intakeRunning_(services_.request != nullptr) {
    connect(&model_, &ShareSheetModel::intakeFinished, this, &ShareFlow::intakeFinished);
    connect(&model_, &ShareSheetModel::intakeLostItem, this, [this] { intakeLostItem_ = true; });
    progressTimer_.setInterval(progressInterval);
    connect(&progressTimer_, &QTimer::timeout, this,
            [this] { emit progressChanged(progress_->done, progress_->total); });
}

void ShareFlow::startIntake() {
    if (!services_.request)
        return;
    services_.request->whenReady([this, alive = QPointer(this)] {
        if (!alive)
            return;
        if (const QString leftOut = services_.request->leftOut(); !leftOut.isEmpty())
            model_.setErrorLine(leftOut);
        intake_.loadSharedItems(services_.request->inputItems());
    });
}

void ShareFlow::send(const QString& caption) {
    if (phase_ != Phase::open)
        return;
    const std::optional<ChatListSnapshot::Entry> chat = model_.selectedChat();
    if (!chat)
        return;
    if (intakeRunning_) {
        waiting_ = Waiting{*chat, caption};
        setPhase(Phase::waiting);
        return;
    }
    sendTo(*chat, caption);
}

void ShareFlow::cancel() {
    if (!services_.request || (phase_ != Phase::open && phase_ != Phase::waiting))
        return;
    waiting_.reset();
    setPhase(Phase::cancelled);
    services_.request->cancel(userCancelledError());
}

ShareFlow::Phase ShareFlow::phase() const {
    return phase_;
}

void ShareFlow::intakeFinished() {
    intakeRunning_ = false;
    if (phase_ != Phase::waiting)
        return;
    const Waiting waiting = *std::exchange(waiting_, std::nullopt);
    // The person pressed Send for what they shared, and part of it is lost: they decide again,
    // with the error line telling them.
    if (intakeLostItem_) {
        setPhase(Phase::open);
        return;
    }
    sendTo(waiting.chat, waiting.caption);
}

void ShareFlow::sendTo(const ChatListSnapshot::Entry& chat, const QString& caption) {
    const std::optional<fs::path> outbox =
        SharedContainer::ensureOutbox(*services_.environment, *services_.fileManager);
    if (!outbox) {
        model_.setErrorLine(tr("Could not reach tovin's shared folder."));
        setPhase(Phase::open);
        return;
    }
    setPhase(Phase::writing);
    progress_ = std::make_shared<Progress>();
    progressTimer_.start();
    finishWrite(enqueueElsewhere(
                    ShareOutbox(*outbox, services_.fileManager, services_.uuids, services_.clock),
                    draft(chat, caption), progress_),
                *outbox);
}

ShareFlow::Draft ShareFlow::draft(const ChatListSnapshot::Entry& chat,
                                  const QString& caption) const {
    using Kind = ShareOutbox::Manifest::Attachment::Kind;
    const SharedContent& content = model_.sharedContent();
    Draft draft{chat.id,
                utf8(model_.composeText(ShareSheetModel::trimmedCaption(caption))),
                utf8(content.sharedURL),
                {}};
    for (const QUrl& image : content.sharedImageURLs)
        draft.attachments.push_back({Kind::image, localPath(image)});
    for (const QUrl& file : content.sharedFileURLs)
        draft.attachments.push_back({Kind::file, localPath(file)});
    return draft;
}

// A plain function, not part of a coroutine: GCC 12 miscompiles a lambda that moves a coroutine's
// parameters into its captures. The writing thread owns copies of everything it touches.
QFuture<ShareFlow::Written> ShareFlow::enqueueElsewhere(ShareOutbox outbox, Draft draft,
                                                        std::shared_ptr<Progress> progress) {
    return QtConcurrent::run([outbox = std::move(outbox), draft = std::move(draft),
                              progress = std::move(progress)]() -> Written {
        try {
            return {outbox.enqueue(draft.chatId, draft.text, draft.url, draft.attachments,
                                   [&progress](std::uintmax_t done, std::uintmax_t total) {
                                       progress->total = total;
                                       progress->done = done;
                                   }),
                    nullptr};
        } catch (...) {
            return {{}, std::current_exception()};
        }
    });
}

QCoro::Task<> ShareFlow::finishWrite(QFuture<Written> writing, fs::path outboxURL) {
    const QPointer<ShareFlow> alive(this);
    const Written written = co_await writing;
    // The sheet may have gone while the share was written; then there is no one left to tell.
    if (!alive)
        co_return;
    progressTimer_.stop();
    if (written.failure) {
        model_.setErrorLine(enqueueFailureMessage(written.failure, outboxURL));
        setPhase(Phase::open);
        co_return;
    }
    // Held by the post, which the flow may not outlive.
    const std::shared_ptr<Notifier> notifier = services_.notifier;
    co_await notifier->post();
    if (!alive)
        co_return;
    services_.urlOpener->open(QUrl(QString::fromLatin1(SharedContainer::hostURL)));
    setPhase(Phase::sent);
    if (services_.request)
        services_.request->complete(written.id);
}

void ShareFlow::setPhase(Phase phase) {
    if (phase == phase_)
        return;
    phase_ = phase;
    emit phaseChanged(phase_);
}

} // namespace tovin
