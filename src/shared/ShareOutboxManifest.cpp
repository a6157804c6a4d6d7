#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/JSONReader.h"
#include "shared/ShareOutbox.h"
#include "shared/UTF8.h"

namespace tovin {

namespace {

using detail::JSONType;
using detail::JSONValue;
using nlohmann::json;
using Manifest = ShareOutbox::Manifest;
using Attachment = Manifest::Attachment;

// Whether `name` is one path component, so that the attachment it names lies inside its entry.
bool isSingleComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The `number`th attachment of the manifest.
Attachment decodeAttachment(JSONValue& element, std::size_t number) {
    const detail::ElementFault fault("attachment", number);
    std::optional<Attachment::Kind> kind;
    std::optional<std::string_view> filename;
    detail::forEachMember(element, fault, [&](std::string_view key, JSONValue& value) {
        if (key == "kind") {
            const std::optional<std::string_view> rawValue = detail::stringValue(value);
            kind = rawValue ? Attachment::kindWithRawValue(*rawValue) : std::nullopt;
            if (!kind)
                throw fault(R"(has a "kind" that is neither "image" nor "file")", value);
        } else if (key == "filename") {
            filename = detail::stringValue(value);
            if (!filename)
                throw fault(R"(has a "filename" that is not a string)", value);
            if (!isSingleComponent(*filename))
                throw fault(R"(has a "filename" that is not a single file name)", value);
        } else {
            detail::validate(value);
        }
    });
    if (!kind)
        throw fault(R"(has no "kind")");
    if (!filename)
        throw fault(R"(has no "filename")");
    return Attachment{*kind, std::string(*filename)};
}

std::vector<Attachment> decodeAttachments(JSONValue& list) {
    if (detail::typeOf(list) != JSONType::array)
        throw detail::faultIn(list, R"("attachments" is not an array)");
    std::vector<Attachment> attachments;
    detail::forEachElement(list, [&](JSONValue& element) {
        attachments.push_back(decodeAttachment(element, attachments.size() + 1));
    });
    return attachments;
}

std::int64_t decodeChatId(JSONValue& value) {
    const std::optional<std::int64_t> chatId = detail::int64Value(value);
    if (!chatId)
        throw detail::faultIn(value, R"("chatId" is not an integer in the signed 64-bit range)");
    return *chatId;
}

ShareOutbox::Timestamp decodeCreatedAt(JSONValue& value) {
    double milliseconds = 0;
    if (!detail::numberText(value) || value.get_double().get(milliseconds))
        throw detail::faultIn(value, R"("createdAt" is not a number of milliseconds)");
    return ShareOutbox::Timestamp(ShareOutbox::Timestamp::duration(milliseconds));
}

// Null counts as no value; anything else must be a string.
std::optional<std::string> decodeOptionalString(JSONValue& value, std::string_view key) {
    if (detail::typeOf(value) == JSONType::null) {
        detail::validate(value);
        return std::nullopt;
    }
    const std::optional<std::string_view> text = detail::stringValue(value);
    if (!text)
        throw detail::faultIn(value, "\"" + std::string(key) + "\" is not a string");
    return std::string(*text);
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
    std::optional<std::int64_t> chatId;
    std::optional<std::string> message;
    std::optional<std::string> url;
    std::optional<std::vector<Attachment>> attachments;
    std::optional<Timestamp> createdAt;
    const auto readObject = [&](JSONValue& object) {
        detail::forEachMember(object, [&](std::string_view key, JSONValue& value) {
            if (key == "chatId")
                chatId = decodeChatId(value);
            else if (key == "text")
                message = decodeOptionalString(value, key);
            else if (key == "url")
                url = decodeOptionalString(value, key);
            else if (key == "attachments")
                attachments = decodeAttachments(value);
            else if (key == "createdAt")
                createdAt = decodeCreatedAt(value);
            else
                detail::validate(value);
        });
    };
    detail::readJSON(text, JSONType::object, "the manifest is not a JSON object", readObject);
    if (!chatId)
        throw DecodeError(R"("chatId" is missing)");
    if (!attachments)
        throw DecodeError(R"("attachments" is missing)");
    if (!createdAt)
        throw DecodeError(R"("createdAt" is missing)");
    return Manifest{*chatId, std::move(message), std::move(url), std::move(*attachments),
                    *createdAt};
}

} // namespace tovin
