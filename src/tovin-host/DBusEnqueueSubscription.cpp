#include "tovin-host/DBusEnqueueSubscription.h"

#include "shared/SharedContainer.h"

#include <dbus/dbus.h>
#include <stdexcept>
#include <string>

namespace tovin::host {

namespace {

std::string matchRule() {
    return std::string("type='signal',path='") + SharedContainer::enqueueSignalPath +
           "',interface='" + SharedContainer::enqueueSignalInterface + "',member='" +
           SharedContainer::enqueueSignalMember + "'";
}

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
    dbus_bus_add_match(connection_.get(), matchRule().c_str(), error.get());
    if (error.isSet())
        throw std::runtime_error(error.message());
}

bool DBusEnqueueSubscription::next() {
    DBusConnection* const connection = connection_.get();
    for (;;) {
        // Messages read together wait in the queue: take them before blocking for more.
        while (DBusMessage* const message = dbus_connection_pop_message(connection)) {
            const bool isEnqueue =
                dbus_message_is_signal(message, SharedContainer::enqueueSignalInterface,
                                       SharedContainer::enqueueSignalMember) &&
                dbus_message_has_path(message, SharedContainer::enqueueSignalPath);
            dbus_message_unref(message);
            if (isEnqueue)
                return true;
        }
        if (!dbus_connection_read_write(connection, -1))
            return false;
    }
}

} // namespace tovin::host
