#include "intake/ValueItemProvider.h"

#include "intake/FileURL.h"
#include "intake/TypeRegistry.h"

#include <QThreadPool>
#include <utility>

namespace tovin {

ValueItemProvider::ValueItemProvider(std::string typeIdentifier, LoadedItem::Item item)
    : ValueItemProvider(std::move(typeIdentifier), [item = std::move(item)] { return item; }) {}

ValueItemProvider::ValueItemProvider(std::string typeIdentifier,
                                     std::function<LoadedItem::Item()> make)
    : typeIdentifier_(std::move(typeIdentifier))
    , make_(std::move(make)) {}

bool ValueItemProvider::hasItemConformingTo(std::string_view typeIdentifier) const {
    return conformsTo(typeIdentifier_, typeIdentifier);
}

void ValueItemProvider::loadItem(std::string_view typeIdentifier, ItemCompletion completion) const {
    if (!conformsTo(typeIdentifier_, typeIdentifier)) {
        QThreadPool::globalInstance()->start([completion = std::move(completion)] {
            completion(LoadedItem{{}, std::make_error_code(std::errc::not_supported)});
        });
        return;
    }
    QThreadPool::globalInstance()->start(
        [completion = std::move(completion), make = make_] { completion(LoadedItem{make()}); });
}

std::shared_ptr<const ItemProvider> makeFileProvider(const std::filesystem::path& file) {
    return std::make_shared<ValueItemProvider>(std::string(TypeIdentifier::fileURL), fileURL(file));
}

std::shared_ptr<const ItemProvider> makeURLProvider(QUrl url) {
    return std::make_shared<ValueItemProvider>(std::string(TypeIdentifier::url), std::move(url));
}

std::shared_ptr<const ItemProvider> makeTextProvider(QString text) {
    return std::make_shared<ValueItemProvider>(std::string(TypeIdentifier::plainText),
                                               std::move(text));
}

std::shared_ptr<const ItemProvider> makeDataProvider(QByteArray bytes, std::string typeIdentifier) {
    return std::make_shared<ValueItemProvider>(std::move(typeIdentifier), std::move(bytes));
}

std::shared_ptr<const ItemProvider> makeImageProvider(QImage image) {
    return std::make_shared<ValueItemProvider>(std::string(TypeIdentifier::image),
                                               std::move(image));
}

std::shared_ptr<const ItemProvider> makeEncodedImageProvider(QByteArray bytes,
                                                             std::string typeIdentifier) {
    return std::make_shared<ValueItemProvider>(std::move(typeIdentifier),
                                               [bytes = std::move(bytes)]() -> LoadedItem::Item {
                                                   QImage image = QImage::fromData(bytes);
                                                   if (image.isNull())
                                                       return bytes;
                                                   return image;
                                               });
}

} // namespace tovin
