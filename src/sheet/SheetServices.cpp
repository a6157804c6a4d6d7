#include "sheet/SheetServices.h"

#include "shared/PosixFileManager.h"
#include "sheet/DBusNotifier.h"
#include "sheet/DesktopURLOpener.h"

namespace tovin {

SheetServices SheetServices::desktop(std::shared_ptr<ShareRequest> request) {
    auto environment = std::make_shared<ProcessEnvironment>();
    return {std::move(request),
            environment,
            std::make_shared<PosixFileManager>(environment),
            std::make_shared<RandomUUIDSource>(),
            std::make_shared<SystemClock>(),
            std::make_shared<DBusNotifier>(),
            std::make_shared<DesktopURLOpener>()};
}

} // namespace tovin
