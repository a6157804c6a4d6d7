#include "intake/TypeRegistry.h"

#include <QMimeDatabase>
#include <algorithm>
#include <array>
#include <utility>

namespace tovin {

namespace {

using namespace std::string_view_literals;

// Each named type and the type it directly refines.
constexpr std::array parents{
    std::pair{TypeIdentifier::fileURL, TypeIdentifier::url},
    std::pair{TypeIdentifier::image, TypeIdentifier::data},
    std::pair{TypeIdentifier::png, TypeIdentifier::image},
    std::pair{TypeIdentifier::jpeg, TypeIdentifier::image},
    std::pair{TypeIdentifier::plainText, TypeIdentifier::data},
    std::pair{TypeIdentifier::utf8PlainText, TypeIdentifier::plainText},
};

// MIME types that have a named type of their own.
constexpr std::array namedMIMETypes{
    std::pair{"image/png"sv, TypeIdentifier::png},
    std::pair{"image/jpeg"sv, TypeIdentifier::jpeg},
    std::pair{"text/plain"sv, TypeIdentifier::plainText},
};

std::string_view canonical(std::string_view type) {
    const auto named =
        std::ranges::find(namedMIMETypes, type, &decltype(namedMIMETypes)::value_type::first);
    return named == namedMIMETypes.end() ? type : named->second;
}

bool isMIMEType(std::string_view type) {
    return type.find('/') != std::string_view::npos;
}

} // namespace

bool conformsTo(std::string_view type, std::string_view supertype) {
    type = canonical(type);
    supertype = canonical(supertype);
    if (type == supertype)
        return true;
    if (isMIMEType(type))
        return supertype == TypeIdentifier::data ||
               (supertype == TypeIdentifier::image && type.starts_with("image/"));
    const auto parent = std::ranges::find(parents, type, &decltype(parents)::value_type::first);
    return parent != parents.end() && conformsTo(parent->second, supertype);
}

std::optional<std::string> typeForFilenameExtension(const QString& extension) {
    if (extension.isEmpty())
        return std::nullopt;
    const auto types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("file.") + extension);
    if (types.isEmpty())
        return std::nullopt;
    const std::string name = types.first().name().toStdString();
    return std::string(canonical(name));
}

QString pathExtension(const QUrl& url) {
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const auto dot = name.lastIndexOf(u'.');
    return dot <= 0 ? QString() : name.mid(dot + 1);
}

bool isImageFile(const QUrl& url) {
    const auto type = typeForFilenameExtension(pathExtension(url));
    return type && conformsTo(*type, TypeIdentifier::image);
}

} // namespace tovin
