#pragma once

namespace tovin::host {

// A subscription to the signal that the share sheet posts on the session bus after each share it
// queues. The signal carries nothing: the outbox itself says what is new.
class EnqueueSubscription {
public:
    virtual ~EnqueueSubscription() = default;

    // Waits for the next signal and returns true, or returns false once no signal can come any
    // more (the bus went away). Signals that arrived while nobody waited are not lost.
    virtual bool next() = 0;
};

} // namespace tovin::host
