#include "sheet/DBusNotifier.h"

#include "shared/SharedContainer.h"

#include <QDBusMessage>
#include <string_view>

namespace tovin {

namespace {

// How long a post waits for the bus to confirm it; a bus that slow delays closing the sheet.
constexpr int confirmationTimeout = 2000;

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

DBusNotifier::DBusNotifier(QDBusConnection connection)
    : connection_(std::move(connection)) {}

void DBusNotifier::post() {
    QDBusConnection bus = connection_ ? *connection_ : QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.send(QDBusMessage::createSignal(objectPath, interface, member));
    // Messages leave a connection in order, and the bus answers a ping only after reading what
    // came before it: once the answer is here, the signal is out of this process.
    bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus.Peer", "Ping"),
             QDBus::Block, confirmationTimeout);
}

} // namespace tovin
