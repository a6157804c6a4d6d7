#include "tovin-host/DBusEnqueueSubscription.h"

#include <dbus/dbus.h>
#include <stdexcept>
#include <string>

namespace tovin::host {

namespace {

// The name of the host's notification, "com.brindlex.tovin.share.enqueue", as interface plus
// member, on an object path spelled after the interface.
constexpr const char* objectPath = "/com/brindlex/tovin/share";
constexpr const char* interfaceName = "com.brindlex.tovin.share";
constexpr const char* memberName = "enqueue";
constexpr const char* matchRule = "type='signal',path='/com/brindlex/tovin/share',"
                                  "interface='com.brindlex.tovin.share',member='enqueue'";

// libdbus's error record, freed on every path.
class Error {
public:
    Error() { dbus_error_init(&error_); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    ~Error() { dbus_error_free(&error_); }

    DBusError* get() { return &error_; }
    bool isSet() const { return dbus_error_is_set(&error_); }
    std::string message() const { return error_.message != nullptr ? error_.message : "unknown"; }

private:
    DBusError error_;
};

} // namespace

void DBusEnqueueSubscription::Close::operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

DBusEnqueueSubscription::DBusEnqueueSubscription() {
    Error error;
    // A private connection, so that closing it is ours to do.
    connection_.reset(dbus_bus_get_private(DBUS_BUS_SESSION, error.get()));
    if (!connection_)
        throw std::runtime_error(error.message());
    dbus_connection_set_exit_on_disconnect(connection_.get(), false);
    dbus_bus_add_match(connection_.get(), matchRule, error.get());
    if (error.isSet())
        throw std::runtime_error(error.message());
}

bool DBusEnqueueSubscription::next() {
    DBusConnection* const connection = connection_.get();
    for (;;) {
        // Messages read together wait in the queue: take them before blocking for more.
        while (DBusMessage* const message = dbus_connection_pop_message(connection)) {
            const bool isEnqueue = dbus_message_is_signal(message, interfaceName, memberName) &&
                                   dbus_message_has_path(message, objectPath);
            dbus_message_unref(message);
            if (isEnqueue)
                return true;
        }
        if (!dbus_connection_read_write(connection, -1))
            return false;
    }
}

} // namespace tovin::host
