#pragma once

#include "shared/FileDescriptor.h"

#include <QSocketNotifier>
#include <memory>
#include <optional>

namespace tovin::share {

// SIGTERM, SIGINT and SIGHUP end the application's event loop instead of the process, so that
// the program ends on its main thread as after Cancel, tidying up as it goes; then it ends as the
// signal would have ended it. A signal that was ignored when the program started stays ignored;
// one that comes after the first takes its former course, so a hung ending can still be ended.
// One at a time, made once the application exists.
class EndingSignals {
public:
    EndingSignals();
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;
    // Gives the signals their former actions back.
    ~EndingSignals();

    // Ends the process as the signal received would have, if one was; else returns.
    void endAsSignalled() const;

private:
    void readSignal();

    FileDescriptor arrivals_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::optional<int> received_;
};

} // namespace tovin::share
