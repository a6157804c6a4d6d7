#pragma once

#include "shared/Environment.h"

#include <chrono>

namespace tovin::share {

// Whether the session bus takes connections and then does not answer within `timeout`, as a
// stopped or hung bus daemon does: the toolkit would wait for it for ever before showing a
// window. The bus is the one "DBUS_SESSION_BUS_ADDRESS" names, else "$XDG_RUNTIME_DIR/bus";
// only a bus on a local socket can be asked this way, and one that cannot be asked, that refuses
// the connection or that is not there is not silent: the toolkit does without it at once.
bool sessionBusIsSilent(const Environment& environment, std::chrono::milliseconds timeout);

} // namespace tovin::share
