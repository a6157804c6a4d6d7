#include "sheet/DBusNotifier.h"

#include "shared/SharedContainer.h"

#include <QCoro/QCoroProcess>
#include <QProcess>
#include <string_view>

namespace tovin {

namespace {

// How long a post waits for the bus; a bus that slow delays closing the sheet.
constexpr int postTimeout = 2000;

// A host listens for the enqueue notification's name: the interface and the member, joined by a
// dot.
constexpr bool spellsTheNotificationName() {
    const std::string_view name = SharedContainer::didEnqueueNotification;
    const std::string_view interface = DBusNotifier::interface;
    const std::string_view member = DBusNotifier::member;
    return name.size() == interface.size() + 1 + member.size() && name.starts_with(interface) &&
           name[interface.size()] == '.' && name.ends_with(member);
}
static_assert(spellsTheNotificationName());

} // namespace

// The signal leaves from a process of its own, which flushes it to the bus before it exits. A bus
// that takes a connection and never answers would hold a connection of this process for ever, and
// its exit after it; a process of its own can be stopped.
QCoro::Task<> DBusNotifier::post() {
    QProcess sender;
    sender.setProgram(QStringLiteral("dbus-send"));
    sender.setArguments(
        {QStringLiteral("--session"), QStringLiteral("--type=signal"),
         QString::fromLatin1(objectPath),
         QStringLiteral("%1.%2").arg(QString::fromLatin1(interface), QString::fromLatin1(member))});
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
