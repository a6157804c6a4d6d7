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
    const auto parsed = share::parse(QStringList(argv, argv + argc));
    if (const auto* message = std::get_if<share::Message>(&parsed)) {
        (message->status == share::completed ? std::cout : std::cerr)
            << message->text.toStdString();
        return message->status;
    }
    const ProcessEnvironment environment;
    std::optional<share::ReachableDisplay> display = share::reachableDisplay(environment);
    if (!display) {
        std::cerr << "tovin-share: no display to show the sheet on: neither WAYLAND_DISPLAY nor "
                     "DISPLAY names one that answers\n";
        return share::misuse;
    }
    const bool busIsSilent = share::sessionBusIsSilent(environment, busTimeout);
    if (busIsSilent)
        std::cerr << "tovin-share: the session bus does not answer: going on without it, so "
                     "tovin is not signalled and screen readers cannot follow the sheet\n";

    const auto application = share::startApplication(argc, argv, std::move(*display), !busIsSilent);
    share::EndingSignals endingSignals;
    SheetServices services = SheetServices::desktop(nullptr);
    const auto temporaryFiles =
        std::make_shared<share::TemporaryFileRecorder>(services.fileManager);
    services.fileManager = temporaryFiles;
    if (busIsSilent)
        services.notifier = std::make_shared<Unheard>();
    std::shared_ptr<StreamItemProvider> reading;
    services.request = std::make_shared<share::CommandLineShareRequest>(share::makeInputItem(
        std::get<share::Arguments>(parsed),
        [&] {
            return reading = std::make_shared<StreamItemProvider>(
                       standardInput(), services.fileManager, services.uuids);
        },
        *QGuiApplication::clipboard()));
    ShareViewController sheet(std::move(services));
    share::present(sheet);
    const int status = application->exec();

    // However the run ended, what it wrote to the temporary folder goes: the outbox has its copy.
    if (reading)
        reading->stop();
    temporaryFiles->removeRecorded();
    endingSignals.endAsSignalled();
    return status;
}
