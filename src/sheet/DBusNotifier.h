#pragma once

#include "sheet/Notifier.h"

#include <QString>
#include <optional>

namespace tovin {

// Announces a share with a signal on a D-Bus message bus: object path "/com/brindlex/tovin/share",
// interface "com.brindlex.tovin.share", member "enqueue", no arguments. The interface and the
// member together spell the enqueue notification's name.
class DBusNotifier final : public Notifier {
public:
    static constexpr const char* objectPath = "/com/brindlex/tovin/share";
    static constexpr const char* interface = "com.brindlex.tovin.share";
    static constexpr const char* member = "enqueue";

    // Posts on the session bus, which it first reaches when it posts, so that opening the sheet
    // never waits for the bus.
    DBusNotifier() = default;

    // Posts on the bus at `address`, such as "unix:path=/run/user/1000/bus".
    explicit DBusNotifier(QString address);

    // Returns once the bus has the signal, so that a process exiting right after loses nothing,
    // and after two seconds at most when the bus does not answer. Without a bus it does nothing;
    // nothing is reported either way.
    void post() override;

private:
    std::optional<QString> address_;
};

} // namespace tovin
