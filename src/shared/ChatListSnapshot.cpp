#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/JSONReader.h"
#include "shared/UTF8.h"

#include <optional>

namespace tovin::ChatListSnapshot {

namespace {

using detail::JSONType;
using detail::JSONValue;
using nlohmann::json;

// The `number`th element of the snapshot.
Entry decodeEntry(JSONValue& element, std::size_t number) {
    const detail::ElementFault fault("element", number);
    std::optional<std::int64_t> id;
    std::optional<std::string_view> title;
    detail::forEachMember(element, fault, [&](std::string_view key, JSONValue& value) {
        if (key == "id") {
            id = detail::int64Value(value);
            if (!id)
                throw fault(R"(has an "id" that is not an integer in the signed 64-bit range)",
                            value);
        } else if (key == "title") {
            title = detail::stringValue(value);
            if (!title)
                throw fault(R"(has a "title" that is not a string)", value);
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

// The snapshot as the contract's JSON writer lays it out, made entry by entry and handed on in
// pieces of about a mebibyte: a list of a million chats is never in memory twice.
void encode(const std::vector<Entry>& entries, const FileManager::ByteSink& write) {
    if (entries.empty())
        return write("[]");
    constexpr std::size_t pieceSize = 1 << 20;
    std::string piece = "[\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        piece += "  {\n    \"id\": ";
        piece += std::to_string(entries[i].id);
        piece += ",\n    \"title\": ";
        piece += detail::encodeJSON(entries[i].title);
        piece += i + 1 < entries.size() ? "\n  },\n" : "\n  }\n]";
        if (piece.size() >= pieceSize || i + 1 == entries.size()) {
            write(piece);
            piece.clear();
        }
    }
}

// The entries of the snapshot `text`, a std::string_view or a std::string to parse in place.
template <class Text> std::vector<Entry> decodeSnapshot(Text&& text) {
    std::vector<Entry> entries;
    // No element is shorter than {"id":0,"title":""} and its comma: room for as many never moves
    // the list, and what is not filled is never touched.
    constexpr std::size_t shortestElement = 20;
    entries.reserve(text.size() / shortestElement + 1);
    const auto readList = [&](JSONValue& list) {
        detail::forEachElement(list, [&](JSONValue& element) {
            entries.push_back(decodeEntry(element, entries.size() + 1));
        });
    };
    detail::readJSON(std::forward<Text>(text), JSONType::array, "the snapshot is not a JSON array",
                     readList);
    return entries;
}

} // namespace

std::vector<Entry> decode(std::string_view text) {
    return decodeSnapshot(text);
}

std::vector<Entry> read(const std::filesystem::path& file, FileManager& fileManager) {
    try {
        return decodeSnapshot(fileManager.readFile(file));
    } catch (const std::exception&) {
        return {};
    }
}

void write(const std::vector<Entry>& entries, const std::filesystem::path& file,
           FileManager& fileManager) {
    for (const Entry& entry : entries) {
        if (!detail::isUTF8(entry.title))
            throw detail::notUTF8("the title of chat " + std::to_string(entry.id));
    }
    if (file.has_parent_path())
        fileManager.createDirectory(file.parent_path());
    fileManager.writeFileInPieces(
        file, [&](const FileManager::ByteSink& write) { encode(entries, write); },
        WriteMode::atomic);
}

} // namespace tovin::ChatListSnapshot
