#pragma once

#include <QCoro/QCoroTask>

namespace tovin {

// Tells the host application that a new share waits in the outbox.
class Notifier {
public:
    virtual ~Notifier() = default;

    // Announces one new share, and ends once the announcement is out or given up on, without
    // holding up the main thread meanwhile. Never fails: a host that does not hear it finds the
    // share on its next look at the outbox.
    virtual QCoro::Task<> post() = 0;
};

} // namespace tovin
