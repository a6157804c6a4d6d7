#include "intake/ShareIntake.h"

#include "intake/Loaders.h"
#include "intake/TypeRegistry.h"

#include <utility>

namespace tovin {

namespace {

// The loader's value, or no value when it failed: a failed load only means the next kind of
// content gets its turn.
template <typename T> QCoro::Task<std::optional<T>> attempt(QCoro::Task<T> load) {
    try {
        co_return co_await std::move(load);
    } catch (...) {
        co_return std::nullopt;
    }
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
    for (const auto& item : *inputItems) {
        if (item.contentText && !item.contentText->isEmpty())
            fileText(*item.contentText);
        for (const auto& provider : item.attachments)
            co_await collect(provider);
    }
    owner_.updateSummary();
}

// Tries the kinds of content in a fixed order, most specific first: a file URL is also a URL, and
// must be caught as a file before it can be taken for a link.
QCoro::Task<> ShareIntake::collect(std::shared_ptr<const ItemProvider> provider) {
    if (provider->hasItemConformingTo(TypeIdentifier::fileURL)) {
        if (const auto url = co_await attempt(loadFileURL(*provider))) {
            auto& content = owner_.sharedContent();
            (isImageFile(*url) ? content.sharedImageURLs : content.sharedFileURLs).push_back(*url);
            co_return;
        }
    }
    if (provider->hasItemConformingTo(TypeIdentifier::image)) {
        if (const auto url =
                co_await attempt(loadImageData(*provider, fileManager_, uuidSource_))) {
            owner_.sharedContent().sharedImageURLs.push_back(*url);
            co_return;
        }
    }
    if (provider->hasItemConformingTo(TypeIdentifier::url)) {
        if (const auto link = co_await attempt(loadURL(*provider))) {
            owner_.sharedContent().sharedURL = *link;
            co_return;
        }
    }
    if (provider->hasItemConformingTo(TypeIdentifier::plainText)) {
        if (const auto text = co_await attempt(loadText(*provider)))
            fileText(*text);
    }
}

// The first text wins, even an empty one from an attachment.
void ShareIntake::fileText(const QString& text) {
    auto& content = owner_.sharedContent();
    if (!content.sharedText)
        content.sharedText = text;
}

} // namespace tovin
