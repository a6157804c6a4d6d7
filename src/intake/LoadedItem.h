#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>
#include <optional>
#include <system_error>
#include <variant>

namespace tovin {

// An object of a kind that no loader accepts.
struct OtherObject {
    bool operator==(const OtherObject&) const = default;
};

// What a provider delivers for one load: an item, an error, both or neither.
struct LoadedItem {
    // Nothing (`std::monostate`), a URL, a text, bytes, an image, or another object.
    using Item = std::variant<std::monostate, QUrl, QString, QByteArray, QImage, OtherObject>;

    Item item = {};
    std::optional<std::error_code> error = {};
};

} // namespace tovin
