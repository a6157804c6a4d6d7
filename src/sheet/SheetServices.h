#pragma once

#include "intake/ShareRequest.h"
#include "shared/Clock.h"
#include "shared/Environment.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"
#include "sheet/Notifier.h"
#include "sheet/URLOpener.h"

#include <memory>

namespace tovin {

// Every platform piece the share sheet uses, real or substituted. Every piece but the request
// must be present.
struct SheetServices {
    // The request the sheet serves; none means there is nothing to walk and nothing to end.
    std::shared_ptr<ShareRequest> request;
    std::shared_ptr<const Environment> environment;
    std::shared_ptr<FileManager> fileManager;
    std::shared_ptr<UUIDSource> uuids;
    std::shared_ptr<const Clock> clock;
    std::shared_ptr<Notifier> notifier;
    std::shared_ptr<URLOpener> urlOpener;

    // The pieces of this desktop: the process environment, the POSIX file manager, random
    // UUIDs, the system clock, the session bus and the desktop's URL opener.
    static SheetServices desktop(std::shared_ptr<ShareRequest> request);
};

} // namespace tovin
