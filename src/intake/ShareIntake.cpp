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

// What walks need of their intake. Only the intake owns it: a walk watches it, and the owner's
// lifetime, to learn whether the two still exist.
struct ShareIntake::Context {
    SharedContentOwner& owner;
    std::weak_ptr<const bool> ownerLifetime;
    std::shared_ptr<FileManager> fileManager;
    std::shared_ptr<UUIDSource> uuidSource;

    // The walk's context while its intake and owner both exist; none once either is gone.
    static std::shared_ptr<Context> live(const std::weak_ptr<Context>& walk) {
        auto context = walk.lock();
        return context && !context->ownerLifetime.expired() ? context : nullptr;
    }

    // Files into the owner's content; false, touching nothing, when the walk must end instead.
    static bool file(const std::weak_ptr<Context>& walk, const Filing& filing) {
        const auto context = live(walk);
        if (context)
            filing(context->owner.sharedContent());
        return context != nullptr;
    }
};

ShareIntake::ShareIntake(SharedContentOwner& owner, std::shared_ptr<FileManager> fileManager,
                         std::shared_ptr<UUIDSource> uuidSource)
    : context_(std::make_shared<Context>(
          Context{owner, owner.lifetime_, std::move(fileManager), std::move(uuidSource)})) {}

QCoro::Task<> ShareIntake::loadSharedItems(std::optional<std::vector<InputItem>> inputItems) {
    if (!inputItems)
        co_return;
    // The intake may be gone whenever the walk resumes: from here on the walk holds what it needs
    // and reaches the owner through `walk` alone.
    const std::weak_ptr<Context> walk = context_;
    const auto fileManager = context_->fileManager;
    const auto uuidSource = context_->uuidSource;
    for (const auto& item : *inputItems) {
        const auto& text = item.contentText;
        if (text && !text->isEmpty() &&
            !Context::file(walk, [&](SharedContent& content) { fileText(content, *text); }))
            co_return;
        for (const auto& provider : item.attachments) {
            if (!Context::file(walk, co_await collect(provider, fileManager, uuidSource)))
                co_return;
        }
    }
    if (const auto context = Context::live(walk))
        context->owner.updateSummary();
}

} // namespace tovin
