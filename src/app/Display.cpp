#include "app/Display.h"

#include "shared/FileDescriptor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

namespace tovin::share {

namespace {

bool waylandCompositorAnswers(const Environment& environment) {
    // A connection handed down by the compositor cannot be tried without using it up.
    if (environment.variable("WAYLAND_SOCKET"))
        return true;
    const std::optional<std::string> name = environment.variable("WAYLAND_DISPLAY");
    if (!name || name->empty())
        return false;
    std::string path = *name;
    if (!std::filesystem::path(path).is_absolute()) {
        const std::optional<std::string> runtime = environment.variable("XDG_RUNTIME_DIR");
        if (!runtime)
            return false;
        path = *runtime + '/' + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    const FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket && ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                               sizeof address) == 0;
}

std::optional<ReachableDisplay> xServerAnswers(const QString& platform,
                                               const Environment& environment) {
    const std::optional<std::string> name = environment.variable("DISPLAY");
    if (!name || name->empty())
        return std::nullopt;
    std::shared_ptr<xcb_connection_t> answer(xcb_connect(name->c_str(), nullptr), xcb_disconnect);
    if (xcb_connection_has_error(answer.get()) != 0)
        return std::nullopt;
    return ReachableDisplay(platform, std::move(answer));
}

// A platform's name may carry options after a colon ("xcb:x11-fonts").
std::optional<ReachableDisplay> reach(const QString& platform, const Environment& environment) {
    const QString name = platform.section(u':', 0, 0);
    if (name == u"xcb")
        return xServerAnswers(platform, environment);
    if (name.startsWith(u"wayland") && !waylandCompositorAnswers(environment))
        return std::nullopt;
    return ReachableDisplay(platform, {});
}

} // namespace

ReachableDisplay::ReachableDisplay(QString platform, std::shared_ptr<xcb_connection_t> answer)
    : platform_(std::move(platform))
    , answer_(std::move(answer)) {}

std::optional<ReachableDisplay> reachableDisplay(const Environment& environment) {
    const std::string named = environment.variable("QT_QPA_PLATFORM").value_or("");
    const QString platforms =
        named.empty() ? QStringLiteral("wayland;xcb") : QString::fromStdString(named);
    for (const QString& platform : platforms.split(u';', Qt::SkipEmptyParts)) {
        if (auto display = reach(platform, environment))
            return display;
    }
    return std::nullopt;
}

std::unique_ptr<QApplication> startApplication(int& argc, char** argv, ReachableDisplay display) {
    constexpr const char* variable = "QT_QPA_PLATFORM";
    const std::optional<QByteArray> named =
        qEnvironmentVariableIsSet(variable) ? std::optional(qgetenv(variable)) : std::nullopt;
    qputenv(variable, display.platform().toUtf8());
    auto application = std::make_unique<QApplication>(argc, argv);
    if (named)
        qputenv(variable, *named);
    else
        qunsetenv(variable);
    application->setQuitOnLastWindowClosed(false);
    return application;
}

void present(QWidget& window) {
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        // A platform knows the frame around a window, if at all, once the window exists.
        window.winId();
        const QMargins frame = window.windowHandle()->frameMargins();
        const QSize border(frame.left() + frame.right(), frame.top() + frame.bottom());
        const QRect room = screen->availableGeometry();
        // On a screen too small for it, the window shrinks to the screen, as far as its controls
        // let it, and shows its top-left corner: Send stays within reach.
        const QSize size =
            window.size().boundedTo(room.size() - border).expandedTo(window.minimumSizeHint());
        if (size != window.size())
            window.setFixedSize(size);
        const QRect outer({}, size + border);
        const QPoint centred = room.center() - outer.center();
        const QPoint last =
            room.topLeft() + QPoint(room.width() - outer.width(), room.height() - outer.height());
        window.move(std::max(room.left(), std::min(centred.x(), last.x())),
                    std::max(room.top(), std::min(centred.y(), last.y())));
    }
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace tovin::share
