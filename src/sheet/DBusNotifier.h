#pragma once

#include "sheet/Notifier.h"

namespace tovin {

// Announces a share with the enqueue signal on the session bus (`SharedContainer`'s
// `enqueueSignalPath`, `enqueueSignalInterface` and `enqueueSignalMember`).
class DBusNotifier final : public Notifier {
public:
    // Posts on the session bus, which it first reaches when it posts, so that opening the sheet
    // never waits for the bus. Ends once the bus has the signal, so that a process exiting right
    // after loses nothing, and after two seconds at most when the bus does not answer; the event
    // loop runs meanwhile. Without a bus it does nothing; nothing is reported either way.
    QCoro::Task<> post() override;
};

} // namespace tovin
