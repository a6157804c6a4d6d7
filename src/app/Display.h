#pragma once

#include "shared/Environment.h"

#include <QApplication>
#include <QString>
#include <memory>
#include <optional>

// The window system, as tovin-share meets it.
namespace tovin::share {

// The Qt platform plugin to start, chosen so that starting cannot fail for want of a display: the
// first of those named in "QT_QPA_PLATFORM" (by default Wayland, then X11) whose display can be
// reached. Wayland needs the compositor that "WAYLAND_DISPLAY" names to answer, X11 the server
// that "DISPLAY" names to accept us; a platform that needs no display, such as "offscreen", is
// taken as named. No value when there is none.
std::optional<QString> platformToStart(const Environment& environment);

// The application, started on `platform`. "QT_QPA_PLATFORM" names it only while the application
// starts, so that the programs opened from here choose their own. Closing the last window does
// not end the application: the share request's end decides the exit status.
std::unique_ptr<QApplication> startApplication(int& argc, char** argv, const QString& platform);

// Shows the window centred on the screen under the pointer, where the window system lets a
// program place its windows, raised, and asks for the keyboard focus.
void present(QWidget& window);

} // namespace tovin::share
