#include "shared/PosixFileManager.h"
#include "tovin-host/DBusEnqueueSubscription.h"
#include "tovin-host/HostCommands.h"

#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto environment = std::make_shared<tovin::ProcessEnvironment>();
    const tovin::host::Context context{
        *environment, std::make_shared<tovin::PosixFileManager>(environment),
        std::cin,     std::cout,
        std::cerr,    [] { return std::make_unique<tovin::host::DBusEnqueueSubscription>(); }};
    const int status = tovin::host::run(arguments, context);
    std::cout.flush();
    return std::cout ? status : tovin::host::failure;
}
