#include "app/Display.h"

#include "shared/FileDescriptor.h"

#include <QAccessible>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <utility>
#include <vector>
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

// An environment variable set for as long as this lives, then as it was.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name)
        , previous_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        qputenv(name, value);
    }
    ScopedVariable(ScopedVariable&& other) noexcept
        : name_(std::exchange(other.name_, nullptr))
        , previous_(std::move(other.previous_)) {}
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ScopedVariable& operator=(ScopedVariable&&) = delete;
    ~ScopedVariable() {
        if (name_ == nullptr)
            return;
        if (previous_)
            qputenv(name_, *previous_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    std::optional<QByteArray> previous_;
};

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

std::unique_ptr<QApplication> startApplication(int& argc, char** argv, ReachableDisplay display,
                                               bool withSessionBus) {
    std::vector<ScopedVariable> starting;
    starting.emplace_back("QT_QPA_PLATFORM", display.platform().toUtf8());
    if (!withSessionBus) {
        // An address of no transport fails at once, so the toolkit goes on without the bus, and
        // its accessibility bridge without its own bus, whose address it would ask of this one.
        for (const char* bus : {"DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS"})
            starting.emplace_back(bus, "disabled:");
    }
    auto application = std::make_unique<QApplication>(argc, argv);
    // The bridge is made when first asked for, and would read the variables then.
    if (!withSessionBus)
        QAccessible::isActive();
    application->setQuitOnLastWindowClosed(false);
    return application;
}

void present(QWidget& window) {
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen != nullptr)
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace tovin::share
