#pragma once

#include "intake/ItemProvider.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tovin {

// An attachment that holds one item of one declared type and delivers it on a worker thread of
// the global thread pool. Asked for a type its own does not conform to, it delivers an error
// (`std::errc::not_supported`) and no item.
class ValueItemProvider final : public ItemProvider {
public:
    ValueItemProvider(std::string typeIdentifier, LoadedItem::Item item);

    // The item that `make` makes on the worker thread, each time one is asked for.
    ValueItemProvider(std::string typeIdentifier, std::function<LoadedItem::Item()> make);

    bool hasItemConformingTo(std::string_view typeIdentifier) const override;
    void loadItem(std::string_view typeIdentifier, ItemCompletion completion) const override;

private:
    std::string typeIdentifier_;
    std::function<LoadedItem::Item()> make_;
};

// A local file, offered as its file URL; a relative path is taken from the current folder.
std::shared_ptr<const ItemProvider> makeFileProvider(const std::filesystem::path& file);

// A web link or any other URL, offered as a URL.
std::shared_ptr<const ItemProvider> makeURLProvider(QUrl url);

// A text, offered as plain text.
std::shared_ptr<const ItemProvider> makeTextProvider(QString text);

// Bytes of a declared type, such as "public.png" for a PNG read from standard input.
std::shared_ptr<const ItemProvider> makeDataProvider(QByteArray bytes, std::string typeIdentifier);

// An image held in memory, offered as an image.
std::shared_ptr<const ItemProvider> makeImageProvider(QImage image);

// An image held as encoded bytes of a declared type (such as "image/png"), offered as that type
// and decoded only when loaded, on the worker thread, so that a large image holds up no window.
// Bytes that do not decode are delivered as they are.
std::shared_ptr<const ItemProvider> makeEncodedImageProvider(QByteArray bytes,
                                                             std::string typeIdentifier);

} // namespace tovin
