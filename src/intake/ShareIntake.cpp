#include "intake/ShareIntake.h"

#include "intake/Loaders.h"
#include "intake/TypeRegistry.h"

#include <functional>
#include <utility>

namespace tovin {

namespace {

// Puts what one attachment gave into the content.
using Filing = std::function<void(SharedContent&)>;

// The first text wins, even an empty one from an attachment.
void fileText(SharedContent& content, const QString& text) {
    if (!content.sharedText)
        content.sharedText = text;
}

// The loader's value, or no value when it failed: a failed load only means the next kind of
// content gets its turn.
template <typename T> QCoro::Task<std::optional<T>> attempt(QCoro::Task<T> load) {
    try {
        co_return co_await std::move(load);
    } catch (...) {
        co_return std::nullopt;
    }
}

// Tries the kinds of content in a fixed order, most specific first: a file URL is also a URL, and
// must be caught as a file before it can be taken for a link. What it found is filed by the walk.
QCoro::Task<Filing> collect(std::shared_ptr<const ItemProvider> provider,
                            std::shared_ptr<FileManager> fileManager,
                            std::shared_ptr<UUIDSource> uuidSource) {
    if (provider->hasItemConformingTo(TypeIdentifier::fileURL)) {
        if (const auto url = co_await attempt(loadFileURL(*provider)))
            co_return [url = *url](SharedContent& content) {
                (isImageFile(url) ? content.sharedImageURLs : content.sharedFileURLs)
                    .push_back(url);
            };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::image)) {
        if (const auto url = co_await attempt(loadImageData(*provider, fileManager, uuidSource)))
            co_return
                [url = *url](SharedContent& content) { content.sharedImageURLs.push_back(url); };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::url)) {
        if (const auto link = co_await attempt(loadURL(*provider)))
            co_return [link = *link](SharedContent& content) { content.sharedURL = link; };
    }
    if (provider->hasItemConformingTo(TypeIdentifier::plainText)) {
        if (const auto text = co_await attempt(loadText(*provider)))
            co_return [text = *text](SharedContent& content) { fileText(content, text); };
    }
    co_return [](SharedContent&) {};
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
            filing(owner.sharedContent());
        }
    }
    owner.updateSummary();
}

} // namespace tovin
