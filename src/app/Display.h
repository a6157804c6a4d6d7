#pragma once

#include "shared/Environment.h"

#include <QString>
#include <optional>

class QWidget;

// The window system, as tovin-share meets it.
namespace tovin::share {

// The Qt platform plugin to start, chosen so that starting cannot fail for want of a display: the
// first of those named in "QT_QPA_PLATFORM" (by default Wayland, then X11) whose display can be
// reached. Wayland needs the compositor that "WAYLAND_DISPLAY" names to answer, X11 the server
// that "DISPLAY" names to accept us; a platform that needs no display, such as "offscreen", is
// taken as named. No value when there is none.
std::optional<QString> platformToStart(const Environment& environment);

// Shows the window centred on the screen under the pointer, where the window system lets a
// program place its windows, raised, and asks for the keyboard focus.
void present(QWidget& window);

} // namespace tovin::share
