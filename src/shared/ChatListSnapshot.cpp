#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/JSONReader.h"

#include <optional>

namespace tovin::ChatListSnapshot {

namespace {

using detail::JSONType;
using detail::JSONValue;
using nlohmann::json;

// The `number`th element of the snapshot.
Entry decodeEntry(JSONValue& element, std::size_t number) {
    const auto fault = [number](const std::string& what) {
        return DecodeError("element " + std::to_string(number) + " " + what);
    };
    if (detail::typeOf(element) != JSONType::object)
        throw fault("is not an object: " + detail::excerpt(element));
    std::optional<std::int64_t> id;
    std::optional<std::string_view> title;
    detail::forEachMember(element, [&](std::string_view key, JSONValue& value) {
        if (key == "id") {
            const std::optional<std::string_view> text = detail::numberText(value);
            id = text ? detail::parseExactInt64(*text) : std::nullopt;
            if (!id)
                throw fault(R"(has an "id" that is not an integer in the signed 64-bit range: )" +
                            detail::excerpt(value));
        } else if (key == "title") {
            title = detail::stringValue(value);
            if (!title)
                throw fault(R"(has a "title" that is not a string: )" + detail::excerpt(value));
        } else {
            detail::validate(value);
        }
    });
    if (!id)
        throw fault(R"(has no "id")");
    if (!title)
        throw fault(R"(has no "title")");
    return Entry{*id, std::string(*title)};
}

} // namespace

std::vector<Entry> decode(std::string_view text) {
    std::vector<Entry> entries;
    const auto readList = [&](JSONValue& list) {
        detail::forEachElement(list, [&](JSONValue& element) {
            entries.push_back(decodeEntry(element, entries.size() + 1));
        });
    };
    detail::readJSON(text, JSONType::array, "the snapshot is not a JSON array", readList);
    return entries;
}

std::vector<Entry> read(const std::filesystem::path& file, FileManager& fileManager) {
    try {
        return decode(fileManager.readFile(file));
    } catch (const std::exception&) {
        return {};
    }
}

void write(const std::vector<Entry>& entries, const std::filesystem::path& file,
           FileManager& fileManager) {
    fileManager.createDirectory(file.parent_path());
    json list = json::array();
    for (const Entry& entry : entries)
        list.push_back({{"id", entry.id}, {"title", entry.title}});
    fileManager.writeFile(file, detail::encodeJSON(list), WriteMode::atomic);
}

} // namespace tovin::ChatListSnapshot
