#pragma once

#include "intake/ShareRequest.h"
#include "intake/SharedContent.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <QCoro/QCoroTask>
#include <memory>
#include <optional>
#include <vector>

namespace tovin {

// The owner of the shared content, which shows a summary of it.
class SharedContentOwner {
public:
    virtual ~SharedContentOwner() = default;

    // The content the intake fills. The intake touches it on the main thread only.
    virtual SharedContent& sharedContent() = 0;

    // Rewrites the summary from the content.
    virtual void updateSummary() = 0;
};

// Walks a share request's input items on the main thread, loading one attachment at a time and
// filing each result into the owner's content. The main thread stays free while a load is
// pending. The owner, file manager and UUID source must outlive every walk.
class ShareIntake {
public:
    ShareIntake(SharedContentOwner& owner, std::shared_ptr<FileManager> fileManager,
                std::shared_ptr<UUIDSource> uuidSource);

    // Files the items' texts and attachments in order, then refreshes the owner's summary once.
    // Failed loads are skipped silently. Without a request (no value) nothing happens at all.
    QCoro::Task<> loadSharedItems(std::optional<std::vector<InputItem>> inputItems);

private:
    QCoro::Task<> collect(std::shared_ptr<const ItemProvider> provider);
    void fileText(const QString& text);

    SharedContentOwner& owner_;
    std::shared_ptr<FileManager> fileManager_;
    std::shared_ptr<UUIDSource> uuidSource_;
};

} // namespace tovin
