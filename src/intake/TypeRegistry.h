#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <string>
#include <string_view>

namespace tovin {

// Identifiers of the content types that providers offer and the intake asks for. Besides these,
// any MIME type name ("image/webp", "application/pdf") is an identifier of its own.
namespace TypeIdentifier {
inline constexpr std::string_view data = "public.data";
inline constexpr std::string_view url = "public.url";
inline constexpr std::string_view fileURL = "public.file-url";
inline constexpr std::string_view image = "public.image";
inline constexpr std::string_view png = "public.png";
inline constexpr std::string_view jpeg = "public.jpeg";
inline constexpr std::string_view plainText = "public.plain-text";
inline constexpr std::string_view utf8PlainText = "public.utf8-plain-text";
} // namespace TypeIdentifier

// Whether content of `type` can be taken as `supertype`: a type conforms to itself and to its
// ancestors. A file URL is a URL; PNG, JPEG and every "image/*" type are images; every image,
// text and MIME type is data.
bool conformsTo(std::string_view type, std::string_view supertype);

// The type of files whose names end in ".<extension>", looked up in the shared MIME database by
// name alone and ignoring case; no value for an empty or unknown extension.
std::optional<std::string> typeForFilenameExtension(const QString& extension);

// The text after the last dot of the URL's last path component; empty when the component has no
// dot, ends with one, or starts with its only one (".bashrc").
QString pathExtension(const QUrl& url);

// Whether the file the URL names is an image, judged by its extension only.
bool isImageFile(const QUrl& url);

} // namespace tovin
