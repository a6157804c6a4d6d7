#pragma once

namespace tovin {

// Tells the host application that a new share waits in the outbox.
class Notifier {
public:
    virtual ~Notifier() = default;

    // Announces one new share. Never fails: a host that does not hear it finds the share on its
    // next look at the outbox.
    virtual void post() = 0;
};

} // namespace tovin
