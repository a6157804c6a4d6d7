#include "sheet/DBusNotifier.h"

#include "shared/SharedContainer.h"

#include <QCoro/QCoroProcess>
#include <QProcess>

namespace tovin {

namespace {

// How long a post waits for the bus; a bus that slow delays closing the sheet.
constexpr int postTimeout = 2000;

} // namespace

// The signal leaves from a process of its own, which flushes it to the bus before it exits. A bus
// that takes a connection and never answers would hold a connection of this process for ever, and
// its exit after it; a process of its own can be stopped.
QCoro::Task<> DBusNotifier::post() {
    QProcess sender;
    sender.setProgram(QStringLiteral("dbus-send"));
    sender.setArguments(
        {QStringLiteral("--session"), QStringLiteral("--type=signal"),
         QString::fromLatin1(SharedContainer::enqueueSignalPath),
         QStringLiteral("%1.%2").arg(QString::fromLatin1(SharedContainer::enqueueSignalInterface),
                                     QString::fromLatin1(SharedContainer::enqueueSignalMember))});
    sender.setStandardInputFile(QProcess::nullDevice());
    sender.setStandardOutputFile(QProcess::nullDevice());
    sender.setStandardErrorFile(QProcess::nullDevice());
    sender.start();
    if (!co_await qCoro(sender).waitForFinished(postTimeout)) {
        // A killed sender ends at once.
        sender.kill();
        sender.waitForFinished();
    }
}

} // namespace tovin
