#pragma once

#include "sheet/Notifier.h"

#include <QDBusConnection>
#include <optional>

namespace tovin {

// Announces a share with a signal on a D-Bus connection: object path "/com/brindlex/tovin/share",
// interface "com.brindlex.tovin.share", member "enqueue", no arguments. The interface and the
// member together spell the enqueue notification's name.
class DBusNotifier final : public Notifier {
public:
    static constexpr const char* objectPath = "/com/brindlex/tovin/share";
    static constexpr const char* interface = "com.brindlex.tovin.share";
    static constexpr const char* member = "enqueue";

    // Posts on the session bus, which it first connects to when it posts, so that opening the
    // sheet never waits for the bus.
    DBusNotifier() = default;

    // Posts on `connection`.
    explicit DBusNotifier(QDBusConnection connection);

    // Returns once the bus has received the signal, so that a process exiting right after loses
    // nothing. Without a connected bus it does nothing; nothing is reported either way.
    void post() override;

private:
    std::optional<QDBusConnection> connection_;
};

} // namespace tovin
