#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/ShareOutbox.h"
#include "shared/UTF8.h"

namespace tovin {

namespace {

using nlohmann::json;
using Manifest = ShareOutbox::Manifest;
using Attachment = Manifest::Attachment;

// A key that must be there and must not be null.
const json& required(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        throw DecodeError(std::string("\"") + key + "\" is missing");
    return *found;
}

// A key that may be missing or null; present, it must hold a string.
std::optional<std::string> optionalString(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return std::nullopt;
    if (!found->is_string())
        throw DecodeError(std::string("\"") + key + "\" is not a string");
    return found->get<std::string>();
}

Attachment decodeAttachment(const json& object) {
    if (!object.is_object())
        throw DecodeError("an attachment is not an object");
    const json& filename = required(object, "filename");
    const json& kindText = required(object, "kind");
    if (!filename.is_string())
        throw DecodeError("an attachment's \"filename\" is not a string");
    const std::optional<Attachment::Kind> kind =
        kindText.is_string() ? Attachment::kindWithRawValue(kindText.get_ref<const std::string&>())
                             : std::nullopt;
    if (!kind)
        throw DecodeError(R"(an attachment's "kind" is neither "image" nor "file")");
    return Attachment{*kind, filename.get<std::string>()};
}

json parse(std::string_view text) {
    try {
        return detail::parseJSON(text);
    } catch (const json::parse_error& error) {
        throw DecodeError(detail::describeParseError(error));
    }
}

} // namespace

std::string_view Attachment::rawValue(Kind kind) {
    return kind == Kind::image ? "image" : "file";
}

std::optional<Attachment::Kind> Attachment::kindWithRawValue(std::string_view rawValue) {
    if (rawValue == "image")
        return Kind::image;
    if (rawValue == "file")
        return Kind::file;
    return std::nullopt;
}

std::string Manifest::encode() const {
    if (text && !detail::isUTF8(*text))
        throw detail::notUTF8("the manifest's text");
    if (url && !detail::isUTF8(*url))
        throw detail::notUTF8("the manifest's link");
    for (const Attachment& attachment : attachments) {
        if (!detail::isUTF8(attachment.filename))
            throw detail::notUTF8("an attachment's filename");
    }
    json list = json::array();
    for (const Attachment& attachment : attachments)
        list.push_back(
            {{"filename", attachment.filename}, {"kind", Attachment::rawValue(attachment.kind)}});
    json object = {
        {"attachments", std::move(list)},
        {"chatId", chatId},
        {"createdAt", createdAt.time_since_epoch().count()},
    };
    if (text)
        object["text"] = *text;
    if (url)
        object["url"] = *url;
    return detail::encodeJSON(object);
}

Manifest Manifest::decode(std::string_view text) {
    const json object = parse(text);
    if (!object.is_object())
        throw DecodeError("the manifest is not a JSON object");

    const std::optional<std::int64_t> chatId = detail::exactInt64(required(object, "chatId"));
    if (!chatId)
        throw DecodeError(R"("chatId" is not an integer in the signed 64-bit range)");
    const json& createdAt = required(object, "createdAt");
    if (!createdAt.is_number())
        throw DecodeError(R"("createdAt" is not a number)");
    const json& list = required(object, "attachments");
    if (!list.is_array())
        throw DecodeError(R"("attachments" is not an array)");

    Manifest manifest{*chatId,
                      optionalString(object, "text"),
                      optionalString(object, "url"),
                      {},
                      Timestamp(Timestamp::duration(createdAt.get<double>()))};
    manifest.attachments.reserve(list.size());
    for (const json& attachment : list)
        manifest.attachments.push_back(decodeAttachment(attachment));
    return manifest;
}

} // namespace tovin
