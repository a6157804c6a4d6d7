#include "intake/ShareIntake.h"

#include "intake/IntakeError.h"
#include "intake/Loaders.h"
#include "intake/TypeRegistry.h"

#include <functional>
#include <utility>

namespace tovin {

namespace {

// Puts what one attachment gave into the owner's content, or reports it lost.
using Filing = std::function<void(SharedContentOwner&)>;

// The first text wins, even an empty one from an attachment.
void fileText(SharedContent& content, const QString& text) {
    if (!content.sharedText)
        content.sharedText = text;
}

// Whether a load's failure means the provider had the item and could not deliver it, rather than
// that it had nothing of that kind.
bool losesTheItem(const std::error_code& error) {
    return error.category() != intakeCategory() && error != std::errc::not_supported &&
           error != std::errc::operation_canceled;
}

// The loader's value, or no value when it failed: a failed load only means the next kind of
// content gets its turn. The first failure that loses the item is kept in `loss`.
template <typename T>
QCoro::Task<std::optional<T>> attempt(QCoro::Task<T> load, std::optional<std::error_code>& loss) {
    try {
        co_return co_await std::move(load);
    } catch (const std::system_error& error) {
        if (!loss && losesTheItem(error.code()))
            loss = error.code();
    } catch (...) {
    }
    co_return std::nullopt;
}

// Tries the kinds of content in a fixed order, most specific first: a file URL is also a URL, and
// must be caught as a file before it can be taken for a link. What it found is filed by the walk.
QCoro::Task<Filing> collect(std::shared_ptr<const ItemProvider> provider,
                            std::shared_ptr<FileManager> fileManager,
                            std::shared_ptr<UUIDSource> uuidSource) {
    std::optional<std::error_code> loss;
    if (provider->hasItemConformingTo(TypeIdentifier::fileURL)) {
        if (const auto url = co_await attempt(loadFileURL(*provider), loss))
            co_return [url = *url](SharedContentOwner& owner) {
                SharedContent& content = owner.sharedContent();
                (isImageFile(url) ? content.sharedImageURLs : content.sharedFileURLs)
                    .push_back(url);
            };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::image)) {
        if (const auto url =
                co_await attempt(loadImageData(*provider, fileManager, uuidSource), loss))
            co_return [url = *url](SharedContentOwner& owner) {
                owner.sharedContent().sharedImageURLs.push_back(url);
            };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::url)) {
        if (const auto link = co_await attempt(loadURL(*provider), loss))
            co_return [link = *link](SharedContentOwner& owner) {
                owner.sharedContent().sharedURL = link;
            };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::plainText)) {
        if (const auto text = co_await attempt(loadText(*provider), loss))
            co_return [text = *text](SharedContentOwner& owner) {
                fileText(owner.sharedContent(), text);
            };
    }
    if (loss)
        co_return [error = *loss](SharedContentOwner& owner) { owner.itemLost(error); };
    co_return [](SharedContentOwner&) {};
}

} // namespace

ShareIntake::ShareIntake(SharedContentOwner& owner, std::shared_ptr<FileManager> fileManager,
                         std::shared_ptr<UUIDSource> uuidSource)
    : owner_(owner)
    , fileManager_(std::move(fileManager))
    , uuidSource_(std::move(uuidSource)) {}

QCoro::Task<> ShareIntake::loadSharedItems(std::optional<std::vector<InputItem>> inputItems) {
    if (!inputItems)
        co_return;
    // The intake and the owner may be gone whenever the walk resumes: the walk holds what it needs
    // and, once resumed, touches the owner only after finding both still there.
    SharedContentOwner& owner = owner_;
    const auto fileManager = fileManager_;
    const auto uuidSource = uuidSource_;
    const auto alive = [intake = std::weak_ptr(lifetime_),
                        ownerLifetime = std::weak_ptr(owner.lifetime_)] {
        return !intake.expired() && !ownerLifetime.expired();
    };
    for (const auto& item : *inputItems) {
        if (item.contentText && !item.contentText->isEmpty())
            fileText(owner.sharedContent(), *item.contentText);
        for (const auto& provider : item.attachments) {
            const auto filing = co_await collect(provider, fileManager, uuidSource);
            if (!alive())
                co_return;
            filing(owner);
        }
    }
    owner.updateSummary();
}

} // namespace tovin
