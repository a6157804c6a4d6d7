#pragma once

#include "sheet/Notifier.h"

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
    // never waits for the bus. Ends once the bus has the signal, so that a process exiting right
    // after loses nothing, and after two seconds at most when the bus does not answer; the event
    // loop runs meanwhile. Without a bus it does nothing; nothing is reported either way.
    QCoro::Task<> post() override;
};

} // namespace tovin
