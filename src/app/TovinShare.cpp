#include "app/CommandLineShareRequest.h"
#include "app/Display.h"
#include "app/ShareCommandLine.h"
#include "sheet/ShareViewController.h"
#include "sheet/SheetServices.h"

#include <QClipboard>
#include <QFile>
#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    using namespace tovin;
    const auto parsed = share::parse(QStringList(argv, argv + argc));
    if (const auto* message = std::get_if<share::Message>(&parsed)) {
        (message->status == share::completed ? std::cout : std::cerr)
            << message->text.toStdString();
        return message->status;
    }
    std::optional<share::ReachableDisplay> display = share::reachableDisplay(ProcessEnvironment());
    if (!display) {
        std::cerr << "tovin-share: no display to show the sheet on: neither WAYLAND_DISPLAY nor "
                     "DISPLAY names one that answers\n";
        return share::misuse;
    }

    // Docks and task switchers find the window's entry, and so its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brindlex.tovin.share"));
    const auto application = share::startApplication(argc, argv, std::move(*display));
    QFile standardInput;
    standardInput.open(stdin, QIODevice::ReadOnly);
    auto request = std::make_shared<share::CommandLineShareRequest>(share::makeInputItem(
        std::get<share::Arguments>(parsed), standardInput, *QGuiApplication::clipboard()));
    ShareViewController sheet(SheetServices::desktop(std::move(request)));
    share::present(sheet);
    return application->exec();
}
