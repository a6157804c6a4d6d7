#include "intake/ValueItemProvider.h"

#include "intake/TypeRegistry.h"

#include <QFile>
#include <QThreadPool>
#include <utility>

namespace tovin {

ValueItemProvider::ValueItemProvider(std::string typeIdentifier, LoadedItem::Item item)
    : typeIdentifier_(std::move(typeIdentifier))
    , item_(std::move(item)) {}

bool ValueItemProvider::hasItemConformingTo(std::string_view typeIdentifier) const {
    return conformsTo(typeIdentifier_, typeIdentifier);
}

void ValueItemProvider::loadItem(std::string_view typeIdentifier, ItemCompletion completion) const {
    LoadedItem loaded;
    if (hasItemConformingTo(typeIdentifier))
        loaded.item = item_;
    else
        loaded.error = std::make_error_code(std::errc::not_supported);
    QThreadPool::globalInstance()->start(
        [completion = std::move(completion), loaded = std::move(loaded)] { completion(loaded); });
}

std::shared_ptr<const ItemProvider> makeFileProvider(const std::filesystem::path& file) {
    const auto absolute = std::filesystem::absolute(file);
    return std::make_shared<ValueItemProvider>(
        std::string(TypeIdentifier::fileURL),
        QUrl::fromLocalFile(QFile::decodeName(absolute.c_str())));
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

} // namespace tovin
