#pragma once

#include "tovin-host/EnqueueSubscription.h"

#include <memory>

struct DBusConnection;

namespace tovin::host {

// The enqueue signal as libdbus hears it on the session bus.
class DBusEnqueueSubscription final : public EnqueueSubscription {
public:
    // Connects to the session bus and subscribes; throws `std::runtime_error`, saying why, when
    // the bus cannot be reached.
    DBusEnqueueSubscription();

    bool next() override;

private:
    struct Close {
        void operator()(DBusConnection* connection) const;
    };
    std::unique_ptr<DBusConnection, Close> connection_;
};

} // namespace tovin::host
