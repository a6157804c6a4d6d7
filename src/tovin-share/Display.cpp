#include "tovin-share/Display.h"

#include "shared/FileDescriptor.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
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

// The context in which translators find this file's texts.
struct DisplayProbe {
    Q_DECLARE_TR_FUNCTIONS(DisplayProbe)
};

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

// The keys of the Qt platform plugins installed where Qt looks for them, in lower case. Read from
// the plugins' metadata, without loading them.
QStringList installedPlatforms(const Environment& environment) {
    QStringList folders;
    if (const auto own = environment.variable("QT_QPA_PLATFORM_PLUGIN_PATH"))
        folders.append(QString::fromStdString(*own));
    for (const QString& path : QCoreApplication::libraryPaths())
        folders.append(path + QStringLiteral("/platforms"));
    QStringList keys;
    for (const QString& folder : folders) {
        const QDir plugins(folder);
        for (const QString& file : plugins.entryList(QDir::Files)) {
            const QJsonArray named = QPluginLoader(plugins.filePath(file))
                                         .metaData()
                                         .value(QStringLiteral("MetaData"))
                                         .toObject()
                                         .value(QStringLiteral("Keys"))
                                         .toArray();
            for (const QJsonValue& key : named)
                keys.append(key.toString().toLower());
        }
    }
    return keys;
}

// A platform's name may carry options after a colon ("xcb:x11-fonts").
std::variant<ReachableDisplay, QString>
reach(const QString& platform, const Environment& environment, const QStringList& installed) {
    const QString name = platform.section(u':', 0, 0);
    if (!installed.contains(name.toLower()))
        return DisplayProbe::tr("Qt has no platform plugin \"%1\"").arg(name);
    if (name == u"xcb") {
        if (auto display = xServerAnswers(platform, environment))
            return std::move(*display);
        return DisplayProbe::tr("DISPLAY names no X server that answers");
    }
    if (name.startsWith(u"wayland") && !waylandCompositorAnswers(environment))
        return DisplayProbe::tr("WAYLAND_DISPLAY names no compositor that answers");
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

// Waits until the window can read the clipboard, then reads it once.
class ClipboardWait final : public QObject {
public:
    ClipboardWait(QWidget& window, std::function<void()> read)
        : QObject(&window)
        , window_(window)
        , read_(std::move(read))
        , needsFocus_(QGuiApplication::platformName().startsWith(u"wayland")) {
        window.installEventFilter(this);
        if (window.isActiveWindow())
            readSoon();
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate ||
            (!needsFocus_ && event->type() == QEvent::Paint))
            readSoon();
        return false;
    }

private:
    // After the event that told, so that a frame being drawn is finished first.
    void readSoon() {
        if (std::exchange(waiting_, false)) {
            window_.removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    const auto read = std::move(read_);
                    deleteLater();
                    read();
                },
                Qt::QueuedConnection);
        }
    }

    QWidget& window_;
    std::function<void()> read_;
    bool needsFocus_;
    bool waiting_ = true;
};

} // namespace

ReachableDisplay::ReachableDisplay(QString platform, std::shared_ptr<xcb_connection_t> answer)
    : platform_(std::move(platform))
    , answer_(std::move(answer)) {}

std::variant<ReachableDisplay, QString> reachableDisplay(const Environment& environment) {
    const std::string named = environment.variable("QT_QPA_PLATFORM").value_or("");
    const QString platforms =
        named.empty() ? QStringLiteral("wayland;xcb") : QString::fromStdString(named);
    const QStringList installed = installedPlatforms(environment);
    QStringList reasons;
    for (const QString& platform : platforms.split(u';', Qt::SkipEmptyParts)) {
        auto display = reach(platform, environment, installed);
        if (auto* reachable = std::get_if<ReachableDisplay>(&display))
            return std::move(*reachable);
        reasons.append(std::get<QString>(display));
    }
    if (reasons.isEmpty())
        reasons.append(DisplayProbe::tr("QT_QPA_PLATFORM names no platform"));
    reasons.removeDuplicates();
    //: Between the reasons why no display could be reached
    const QString separator = DisplayProbe::tr("; ");
    return DisplayProbe::tr("no display to show the sheet on: %1").arg(reasons.join(separator));
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

void whenClipboardReadable(QWidget& window, std::function<void()> read) {
    new ClipboardWait(window, std::move(read));
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
