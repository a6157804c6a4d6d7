#include "intake/ValueItemProvider.h"

#include "intake/FileURL.h"
#include "intake/TypeRegistry.h"

#include <QThreadPool>
#include <utility>

namespace tovin {

namespace {

// Delivers on a worker thread what `deliver` makes, or, asked for a type that `type` does not
// conform to, an error and no item.
template <typename Deliver>
void loadOnWorker(std::string_view type, std::string_view asked, ItemCompletion completion,
                  Deliver deliver) {
    if (!conformsTo(type, asked)) {
        QThreadPool::globalInstance()->start([completion = std::move(completion)] {
            completion(LoadedItem{{}, std::make_error_code(std::errc::not_supported)});
        });
        return;
    }
    QThreadPool::globalInstance()->start(
        [completion = std::move(completion), deliver = std::move(deliver)] {
            completion(LoadedItem{deliver()});
        });
}

class EncodedImageProvider final : public ItemProvider {
public:
    EncodedImageProvider(QByteArray bytes, std::string typeIdentifier)
        : bytes_(std::move(bytes))
        , typeIdentifier_(std::move(typeIdentifier)) {}

    bool hasItemConformingTo(std::string_view typeIdentifier) const override {
        return conformsTo(typeIdentifier_, typeIdentifier);
    }

    void loadItem(std::string_view typeIdentifier, ItemCompletion completion) const override {
        loadOnWorker(typeIdentifier_, typeIdentifier, std::move(completion),
                     [bytes = bytes_]() -> LoadedItem::Item {
                         QImage image = QImage::fromData(bytes);
                         if (image.isNull())
                             return bytes;
                         return image;
                     });
    }

private:
    QByteArray bytes_;
    std::string typeIdentifier_;
};

} // namespace

ValueItemProvider::ValueItemProvider(std::string typeIdentifier, LoadedItem::Item item)
    : typeIdentifier_(std::move(typeIdentifier))
    , item_(std::move(item)) {}

bool ValueItemProvider::hasItemConformingTo(std::string_view typeIdentifier) const {
    return conformsTo(typeIdentifier_, typeIdentifier);
}

void ValueItemProvider::loadItem(std::string_view typeIdentifier, ItemCompletion completion) const {
    loadOnWorker(typeIdentifier_, typeIdentifier, std::move(completion),
                 [item = item_] { return item; });
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
    return std::make_shared<EncodedImageProvider>(std::move(bytes), std::move(typeIdentifier));
}

} // namespace tovin
