#pragma once

#include "intake/ShareIntake.h"
#include "shared/ChatListSnapshot.h"
#include "shared/ShareOutbox.h"
#include "sheet/ShareSheetModel.h"
#include "sheet/SheetServices.h"

#include <QCoro/QCoroTask>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

namespace tovin {

// How a share request ends, apart from the widgets that show it: the send procedure, which
// queues the share in the outbox on a thread of its own, announces it, opens the host
// application and completes the request; and Cancel. It also starts the intake, which a Send
// waits for, so that a share never leaves without an item the user shared. Main thread only.
class ShareFlow final : public QObject {
    Q_OBJECT

public:
    enum class Phase {
        open,      // Send and Cancel may be pressed
        waiting,   // Send was pressed while the intake ran: the share goes once the intake ends
        writing,   // the share is being written into the outbox; nothing may be pressed
        sent,      // queued and announced, and the request completed
        cancelled, // the request is cancelled
    };
    Q_ENUM(Phase)

    // `model` must outlive the flow; every service but the request must be present.
    ShareFlow(ShareSheetModel& model, SheetServices services, QObject* parent = nullptr);

    // Starts the walk over the request's input items once the request is ready, and returns
    // without waiting for it; the model's summary is written when it ends. What the request left
    // out goes to the error line first. Without a request there is nothing to walk. Once only.
    // A Send waits for the intake from the flow's construction on, so it may start later.
    void startIntake();

    // The send procedure, for the chat the model reports selected and `caption`. Nothing happens
    // unless the phase is open and a chat is selected. While the intake runs, the chat and the
    // caption are kept and the flow waits; should the intake lose an item meanwhile, the flow is
    // open again, with the error line saying so. Without a shared folder the error line says so
    // and the flow stays open. Otherwise the share is written while the main thread goes on; if
    // that fails, the error line says why and the flow is open again; if not, the notifier posts,
    // the host URL is opened once the post is out and the request completed with the entry's id,
    // in that order.
    void send(const QString& caption);

    // Cancels the request with the user-cancelled error, dropping a send that waits for the
    // intake. Ignored while writing and once the request has ended; without a request it does
    // nothing.
    void cancel();

    Phase phase() const;

signals:
    void phaseChanged(ShareFlow::Phase phase);
    // While writing, ten times a second: the bytes copied so far out of those to copy, as the
    // writing thread last told them; both are zero until it does.
    void progressChanged(std::uintmax_t bytesDone, std::uintmax_t bytesTotal);

private:
    // What a share is made of, taken from the model before the write starts.
    struct Draft {
        std::int64_t chatId;
        std::optional<std::string> text;
        std::optional<std::string> url;
        std::vector<ShareOutbox::AttachmentSource> attachments;
    };
    struct Waiting {
        ChatListSnapshot::Entry chat;
        QString caption;
    };
    // What the writing thread ends with: the queued entry's id, or why there is none.
    struct Written {
        std::string id;
        std::exception_ptr failure;
    };
    // Written by the writing thread, read by the main thread's timer.
    struct Progress {
        std::atomic<std::uintmax_t> done{0};
        std::atomic<std::uintmax_t> total{0};
    };

    void intakeFinished();
    void sendTo(const ChatListSnapshot::Entry& chat, const QString& caption);
    Draft draft(const ChatListSnapshot::Entry& chat, const QString& caption) const;
    static QFuture<Written> enqueueElsewhere(ShareOutbox outbox, Draft draft,
                                             std::shared_ptr<Progress> progress);
    QCoro::Task<> finishWrite(QFuture<Written> writing, std::filesystem::path outboxURL);
    void setPhase(Phase phase);

    ShareSheetModel& model_;
    SheetServices services_;
    ShareIntake intake_;
    // From construction on while there is a request, until the intake ends.
    bool intakeRunning_;
    bool intakeLostItem_ = false;
    std::optional<Waiting> waiting_;
    Phase phase_ = Phase::open;
    std::shared_ptr<Progress> progress_ = std::make_shared<Progress>();
    QTimer progressTimer_;
};

} // namespace tovin
