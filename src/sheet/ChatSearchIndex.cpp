#include "sheet/ChatSearchIndex.h"

#include "intake/Parallel.h"
#include "sheet/Trimmed.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace tovin {

namespace {

bool isASCII(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Most titles are plain ASCII, whose search key is its ASCII lower case; making a QString for
// each of them would double the time the index takes to build.
void appendSearchKey(std::u16string& keys, std::string_view title) {
    if (isASCII(title)) {
        for (const char c : title)
            keys.push_back(static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        return;
    }
    const QString key = ChatSearchIndex::searchKey(QString::fromUtf8(title));
    const QStringView view(key);
    keys.append(view.utf16(), view.size());
}

bool isQuerySpace(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

std::optional<ChatSearchIndex>
ChatSearchIndex::prepare(const std::vector<ChatListSnapshot::Entry>& chats, std::stop_token stop) {
    // A title's key has no more UTF-16 code units than the title has UTF-8 bytes, but for the rare
    // letters whose lower case is longer.
    std::size_t bytes = 0;
    for (const ChatListSnapshot::Entry& chat : chats)
        bytes += chat.title.size();
    ChatSearchIndex index;
    index.keys_.reserve(bytes);
    index.ends_.reserve(chats.size());
    // Checked for a stop every few thousand titles.
    constexpr std::size_t step = 4096;
    for (std::size_t i = 0; i < chats.size(); ++i) {
        if (i % step == 0 && stop.stop_requested())
            return std::nullopt;
        appendSearchKey(index.keys_, chats[i].title);
        index.ends_.push_back(index.keys_.size());
    }
    return index;
}

std::u16string_view ChatSearchIndex::key(std::size_t position) const {
    const std::size_t start = position == 0 ? 0 : ends_[position - 1];
    return std::u16string_view(keys_).substr(start, ends_[position] - start);
}

std::vector<std::size_t> ChatSearchIndex::matching(QStringView query) const {
    // Parts of fewer titles would take longer to start than to search.
    constexpr std::size_t smallestPart = 1 << 16;
    const std::size_t parts = std::clamp<std::size_t>(ends_.size() / smallestPart, 1, coreCount());
    const std::u16string_view wanted(query.utf16(), static_cast<std::size_t>(query.size()));
    std::vector<std::vector<std::size_t>> found(parts);
    runInParallel(parts, [&](std::size_t part) {
        found[part] =
            matchingIn(wanted, ends_.size() * part / parts, ends_.size() * (part + 1) / parts);
    });
    std::vector<std::size_t> rows = std::move(found.front());
    for (std::size_t part = 1; part < parts; ++part)
        rows.insert(rows.end(), found[part].begin(), found[part].end());
    return rows;
}

std::vector<std::size_t> ChatSearchIndex::matchingIn(std::u16string_view query, std::size_t first,
                                                     std::size_t end) const {
    std::vector<std::size_t> rows;
    if (first == end)
        return rows;
    // One scan over all keys at once is about twice as fast as a search in each key. A hit that
    // runs past the end of its key is no match, and neither can a later one in that key be.
    const std::size_t start = first == 0 ? 0 : ends_[first - 1];
    const std::u16string_view keys = std::u16string_view(keys_).substr(0, ends_[end - 1]);
    std::size_t row = first;
    for (std::size_t at = keys.find(query, start); at != keys.npos; at = keys.find(query, at)) {
        while (ends_[row] <= at)
            ++row;
        if (at + query.size() <= ends_[row])
            rows.push_back(row);
        at = ends_[row++];
    }
    return rows;
}

std::vector<std::size_t>
ChatSearchIndex::matching(QStringView query, const std::vector<std::size_t>& candidates) const {
    const std::u16string_view wanted(query.utf16(), static_cast<std::size_t>(query.size()));
    std::vector<std::size_t> rows;
    std::ranges::copy_if(candidates, std::back_inserter(rows), [&](std::size_t position) {
        return key(position).find(wanted) != std::u16string_view::npos;
    });
    return rows;
}

QString ChatSearchIndex::searchKey(QStringView text) {
    return text.toString().toLower().normalized(QString::NormalizationForm_C);
}

QString ChatSearchIndex::query(QStringView searchText) {
    return searchKey(trimmed(searchText, isQuerySpace));
}

} // namespace tovin
