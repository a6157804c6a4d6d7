#include "app/CommandLineShareRequest.h"
#include "app/Display.h"
#include "app/ShareCommandLine.h"
#include "sheet/ShareViewController.h"
#include "sheet/SheetServices.h"

#include <QClipboard>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    using namespace tovin;
    const auto parsed = share::parse(std::vector<std::string>(argv, argv + argc));
    if (const auto* message = std::get_if<share::Message>(&parsed)) {
        (message->status == share::completed ? std::cout : std::cerr)
            << message->text.toStdString();
        return message->status;
    }
    auto display = share::reachableDisplay(ProcessEnvironment());
    if (const auto* problem = std::get_if<QString>(&display)) {
        std::cerr << "tovin-share: " << problem->toStdString() << '\n';
        return share::misuse;
    }

    // Docks and task switchers find the window's entry, and so its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brindlex.tovin.share"));
    const auto application =
        share::startApplication(argc, argv, std::move(std::get<share::ReachableDisplay>(display)));
    const auto& arguments = std::get<share::Arguments>(parsed);
    QFile standardInput;
    standardInput.open(stdin, QIODevice::ReadOnly);
    auto request = std::make_shared<share::CommandLineShareRequest>(
        arguments.text, share::attachmentsOf(arguments, standardInput), arguments.clipboard,
        std::cerr);
    ShareViewController sheet(SheetServices::desktop(request));
    share::present(sheet);
    if (arguments.clipboard) {
        share::whenClipboardReadable(sheet, [&request] {
            request->addClipboard(share::clipboardAttachments(*QGuiApplication::clipboard()));
        });
    }
    const int status = application->exec();
    if (status == share::completed && request->queuedShareID()) {
        // A reader that has gone away must not turn a queued share into a failure.
        std::signal(SIGPIPE, SIG_IGN);
        std::cout << *request->queuedShareID() << std::endl;
    }
    return status;
}
