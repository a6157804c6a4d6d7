#pragma once

#include "intake/ShareRequest.h"
#include "intake/SharedContent.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <QCoro/QCoroTask>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace tovin {

// The owner of the shared content, which shows a summary of it. Never copied: a walk learns from
// the owner itself whether it still exists.
class SharedContentOwner {
public:
    SharedContentOwner() = default;
    SharedContentOwner(const SharedContentOwner&) = delete;
    SharedContentOwner& operator=(const SharedContentOwner&) = delete;
    virtual ~SharedContentOwner() = default;

    // The content the intake fills. The intake touches it on the main thread only.
    virtual SharedContent& sharedContent() = 0;

    // Rewrites the summary from the content.
    virtual void updateSummary() = 0;

    // An attachment that was there could not be taken in, for `error` (the disk was full, say),
    // and contributes nothing.
    virtual void itemLost(std::error_code error) = 0;

private:
    friend class ShareIntake;
    // Expires with the owner.
    std::shared_ptr<const bool> lifetime_ = std::make_shared<const bool>();
};

// Walks a share request's input items on the main thread, loading one attachment at a time and
// filing each result into the owner's content. The main thread stays free while a load is
// pending. A walk may outlive its intake and its owner: one that finds either gone when a load
// returns ends there, touching neither and refreshing no summary.
class ShareIntake {
public:
    ShareIntake(SharedContentOwner& owner, std::shared_ptr<FileManager> fileManager,
                std::shared_ptr<UUIDSource> uuidSource);
    ShareIntake(const ShareIntake&) = delete;
    ShareIntake& operator=(const ShareIntake&) = delete;

    // Files the items' texts and attachments in order, then refreshes the owner's summary once.
    // A failed load hands the attachment to the next kind of content, silently. An attachment
    // that gives nothing is reported lost when a load failed with the provider's or the file
    // system's own error (other than `std::errc::not_supported`, the kind not offered, or
    // `std::errc::operation_canceled`, the provider stopped): it had something and could not
    // deliver it. Without a request (no value) nothing happens at all.
    QCoro::Task<> loadSharedItems(std::optional<std::vector<InputItem>> inputItems);

private:
    SharedContentOwner& owner_;
    std::shared_ptr<FileManager> fileManager_;
    std::shared_ptr<UUIDSource> uuidSource_;
    // Expires with the intake.
    std::shared_ptr<const bool> lifetime_ = std::make_shared<const bool>();
};

} // namespace tovin
