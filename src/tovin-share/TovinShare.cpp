#include "intake/StreamItemProvider.h"
#include "sheet/ShareViewController.h"
#include "sheet/SheetServices.h"
#include "sheet/Translation.h"
#include "tovin-share/CommandLineShareRequest.h"
#include "tovin-share/Display.h"
#include "tovin-share/EndingSignals.h"
#include "tovin-share/Locations.h"
#include "tovin-share/SessionBus.h"
#include "tovin-share/ShareCommandLine.h"
#include "tovin-share/TemporaryFileRecorder.h"

#include <QClipboard>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <unistd.h>
#include <variant>

namespace {

using namespace tovin;

// Longer than a bus that runs ever takes to answer, short enough not to be waited for.
constexpr std::chrono::milliseconds busTimeout{1000};

// Without a bus that answers there is no one to tell.
class Unheard final : public Notifier {
public:
    QCoro::Task<> post() override { co_return; }
};

// A standard stream that the caller closed is kept empty, so that the next file opened, such as
// the display's connection, cannot take its number and be read or written as the stream.
void keepStandardStreamsOpen() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
    }
}

// Standard input, for the reading thread alone.
FileDescriptor standardInput() {
    return FileDescriptor(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
}

// The context in which translators find this file's texts.
struct TovinShare {
    Q_DECLARE_TR_FUNCTIONS(TovinShare)
};

// Where the translations are, beside this program wherever it was installed or built.
std::filesystem::path translations() {
    std::error_code unknown;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", unknown);
    return program.parent_path() / share::translationsFromProgram;
}

// What the window starts from.
struct Start {
    share::Arguments arguments;
    share::ReachableDisplay display;
    bool busIsSilent;
};

// Reads the command line, then finds the display and asks the bus; what ends the run before
// there is a window is said on standard output or error, and is the exit status.
std::variant<Start, int> prepare(int& argc, char** argv, Translation& translation,
                                 const Environment& environment) {
    // Until the window's application can start on the display, one without a display holds the
    // translation, so that even a usage error is in the person's language.
    const QCoreApplication beforeTheWindow(argc, argv);
    translation.install();
    auto parsed = share::parse(std::vector<std::string>(argv, argv + argc));
    if (const auto* message = std::get_if<share::Message>(&parsed)) {
        (message->status == share::completed ? std::cout : std::cerr)
            << message->text.toStdString();
        return message->status;
    }
    auto display = share::reachableDisplay(environment);
    if (const auto* problem = std::get_if<QString>(&display)) {
        std::cerr << "tovin-share: " << problem->toStdString() << '\n';
        return share::misuse;
    }
    const bool busIsSilent = share::sessionBusIsSilent(environment, busTimeout);
    if (busIsSilent)
        std::cerr << "tovin-share: "
                  << TovinShare::tr("the session bus does not answer: going on without it, so "
                                    "tovin is not signalled and screen readers cannot follow the "
                                    "sheet")
                         .toStdString()
                  << '\n';
    return Start{std::get<share::Arguments>(std::move(parsed)),
                 std::get<share::ReachableDisplay>(std::move(display)), busIsSilent};
}

} // namespace

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    Translation translation(QLocale::system(), translations());
    const ProcessEnvironment environment;
    auto prepared = prepare(argc, argv, translation, environment);
    if (const int* status = std::get_if<int>(&prepared))
        return *status;
    auto& [arguments, display, busIsSilent] = std::get<Start>(prepared);

    // Docks and task switchers find the window's entry, and so its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brindlex.tovin.share"));
    const auto application = share::startApplication(argc, argv, std::move(display), !busIsSilent);
    translation.install();
    share::EndingSignals endingSignals;
    SheetServices services = SheetServices::desktop(nullptr);
    const auto temporaryFiles =
        std::make_shared<share::TemporaryFileRecorder>(services.fileManager);
    services.fileManager = temporaryFiles;
    if (busIsSilent)
        services.notifier = std::make_shared<Unheard>();
    std::shared_ptr<StreamItemProvider> reading;
    auto request = std::make_shared<share::CommandLineShareRequest>(
        arguments.text,
        share::attachmentsOf(arguments,
                             [&] {
                                 return reading = std::make_shared<StreamItemProvider>(
                                            standardInput(), services.fileManager, services.uuids);
                             }),
        arguments.clipboard, std::cerr);
    services.request = request;
    ShareViewController sheet(std::move(services));
    share::present(sheet);
    if (arguments.clipboard) {
        share::whenClipboardReadable(sheet, [&request] {
            request->addClipboard(share::clipboardAttachments(*QGuiApplication::clipboard()));
        });
    }
    const int status = application->exec();

    // However the run ended, what it wrote to the temporary folder goes: the outbox has its copy.
    if (reading)
        reading->stop();
    temporaryFiles->removeRecorded();
    if (status == share::completed && request->queuedShareID()) {
        // A reader that has gone away must not turn a queued share into a failure.
        std::signal(SIGPIPE, SIG_IGN);
        std::cout << *request->queuedShareID() << std::endl;
    }
    endingSignals.endAsSignalled();
    return status;
}
