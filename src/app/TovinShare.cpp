#include "app/CommandLineShareRequest.h"
#include "app/Display.h"
#include "app/EndingSignals.h"
#include "app/SessionBus.h"
#include "app/ShareCommandLine.h"
#include "app/TemporaryFileRecorder.h"
#include "intake/StreamItemProvider.h"
#include "sheet/ShareViewController.h"
#include "sheet/SheetServices.h"

#include <QClipboard>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

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

} // namespace

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    const auto parsed = share::parse(std::vector<std::string>(argv, argv + argc));
    if (const auto* message = std::get_if<share::Message>(&parsed)) {
        (message->status == share::completed ? std::cout : std::cerr)
            << message->text.toStdString();
        return message->status;
    }
    const ProcessEnvironment environment;
    auto display = share::reachableDisplay(environment);
    if (const auto* problem = std::get_if<QString>(&display)) {
        std::cerr << "tovin-share: " << problem->toStdString() << '\n';
        return share::misuse;
    }
    const bool busIsSilent = share::sessionBusIsSilent(environment, busTimeout);
    if (busIsSilent)
        std::cerr << "tovin-share: the session bus does not answer: going on without it, so "
                     "tovin is not signalled and screen readers cannot follow the sheet\n";

    // Docks and task switchers find the window's entry, and so its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brindlex.tovin.share"));
    const auto application = share::startApplication(
        argc, argv, std::move(std::get<share::ReachableDisplay>(display)), !busIsSilent);
    share::EndingSignals endingSignals;
    SheetServices services = SheetServices::desktop(nullptr);
    const auto temporaryFiles =
        std::make_shared<share::TemporaryFileRecorder>(services.fileManager);
    services.fileManager = temporaryFiles;
    if (busIsSilent)
        services.notifier = std::make_shared<Unheard>();
    const auto& arguments = std::get<share::Arguments>(parsed);
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
