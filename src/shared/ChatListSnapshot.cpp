#include "shared/ChatListSnapshot.h"

#include "shared/DecodeError.h"
#include "shared/JSONCoding.h"
#include "shared/UTF8.h"

#include <optional>

namespace tovin::ChatListSnapshot {

namespace {

using nlohmann::json;

// Builds the entries straight from the parser's events, without a document tree: a snapshot
// can hold many thousands of chats and is read every time the sheet opens.
class SnapshotParser {
public:
    std::vector<Entry> entries;
    std::string problem;

    bool null() { return scalar("null"); }
    bool boolean(bool) { return scalar("a boolean"); }
    bool number_integer(std::int64_t value) { return number(value); }
    bool number_unsigned(std::uint64_t value) { return number(detail::exactInt64(value)); }
    bool number_float(double, const std::string& text) {
        return number(detail::parseExactInt64(text));
    }
    bool binary(json::binary_t&) { return scalar("binary data"); }

    bool string(std::string& value) {
        if (depth_ != elementDepth || key_ != Key::title)
            return scalar("a string");
        title_ = std::move(value);
        return true;
    }

    bool start_object(std::size_t) {
        if (depth_ == listDepth) {
            id_.reset();
            title_.reset();
        } else if (!scalar("an object")) {
            return false;
        }
        ++depth_;
        return true;
    }

    bool start_array(std::size_t) {
        if (depth_ != 0 && !scalar("an array"))
            return false;
        ++depth_;
        return true;
    }

    bool key(std::string& name) {
        if (depth_ == elementDepth)
            key_ = name == "id" ? Key::id : name == "title" ? Key::title : Key::other;
        return true;
    }

    bool end_object() {
        if (--depth_ != listDepth)
            return true;
        if (!id_)
            return fail(R"(has no "id")");
        if (!title_)
            return fail(R"(has no "title")");
        entries.push_back(Entry{*id_, std::move(*title_)});
        return true;
    }

    bool end_array() {
        --depth_;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const json::exception& error) {
        problem = detail::describeParseError(error);
        return false;
    }

private:
    enum class Key { id, title, other };
    static constexpr int listDepth = 1;
    static constexpr int elementDepth = 2;

    int depth_ = 0;
    Key key_ = Key::other;
    std::optional<std::int64_t> id_;
    std::optional<std::string> title_;

    // A value where the snapshot expects another kind; values of unknown keys are skipped.
    bool scalar(const char* kind) {
        if (depth_ == 0)
            return topLevel();
        if (depth_ == listDepth)
            return fail(std::string("is ") + kind + ", not an object");
        if (depth_ > elementDepth || key_ == Key::other)
            return true;
        return fail(key_ == Key::id
                        ? R"(has an "id" that is not an integer in the signed 64-bit range)"
                        : R"(has a "title" that is not a string)");
    }

    bool number(std::optional<std::int64_t> value) {
        if (depth_ != elementDepth || key_ != Key::id || !value)
            return scalar("a number");
        id_ = value;
        return true;
    }

    bool topLevel() {
        problem = "the snapshot is not a JSON array";
        return false;
    }

    bool fail(const std::string& what) {
        problem = "element " + std::to_string(entries.size() + 1) + " " + what;
        return false;
    }
};

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

} // namespace

std::vector<Entry> decode(std::string_view text) {
    SnapshotParser parser;
    if (!json::sax_parse(text, &parser))
        throw DecodeError(parser.problem);
    return std::move(parser.entries);
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
