#pragma once

#include "shared/Environment.h"

#include <QApplication>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

struct xcb_connection_t;

// The window system, as tovin-share meets it.
namespace tovin::share {

// A display that answered, and the Qt platform plugin that reaches it. An X server's answer is
// held open for as long as this lives (no other display needs it): a server left without
// clients resets, and refuses connections while it does.
class ReachableDisplay {
public:
    ReachableDisplay(QString platform, std::shared_ptr<xcb_connection_t> answer);

    const QString& platform() const { return platform_; }

private:
    QString platform_;
    std::shared_ptr<xcb_connection_t> answer_;
};

// The display to start on, so that starting cannot fail for want of one: the first of the
// platforms named in "QT_QPA_PLATFORM" (by default Wayland, then X11) whose Qt platform plugin is
// installed and whose display answers. Wayland needs the compositor that "WAYLAND_DISPLAY" names
// to answer, X11 the server that "DISPLAY" names to accept us; a platform that needs no display,
// such as "offscreen", is taken as named. When there is none, why not, on one line.
std::variant<ReachableDisplay, QString> reachableDisplay(const Environment& environment);

// The application, started on the display, which is let go once the application has connected.
// "QT_QPA_PLATFORM" names the platform only while the application starts, so that the programs
// opened from here choose their own. Without the session bus, the application and its
// accessibility bridge start with no bus at all (they would wait for a silent one for ever),
// while the programs opened from here still get the bus of the environment. Closing the last
// window does not end the application: the share request's end decides the exit status.
std::unique_ptr<QApplication> startApplication(int& argc, char** argv, ReachableDisplay display,
                                               bool withSessionBus);

// Calls `read` once, from the event loop, as soon as the window can read the clipboard without
// holding up its first frame: once it is on screen, and on Wayland, which gives the clipboard
// only to the window with the keyboard focus, once it is active.
void whenClipboardReadable(QWidget& window, std::function<void()> read);

// Shows the window centred on the screen under the pointer, where the window system lets a
// program place its windows, raised, and asks for the keyboard focus. A window larger than the
// screen is made smaller, down to its minimum size hint, and placed at the screen's top-left
// corner on the side where it still does not fit.
void present(QWidget& window);

} // namespace tovin::share
