#include "sheet/ChatSearchIndex.h"

#include <algorithm>
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

ChatSearchIndex::ChatSearchIndex(const std::vector<ChatListSnapshot::Entry>& chats) {
    ends_.reserve(chats.size());
    for (const ChatListSnapshot::Entry& chat : chats) {
        appendSearchKey(keys_, chat.title);
        ends_.push_back(keys_.size());
    }
}

std::vector<std::size_t> ChatSearchIndex::matching(QStringView query) const {
    std::vector<std::size_t> rows;
    // One scan over all keys at once is about twice as fast as a search in each key. A hit that
    // runs past the end of its key is no match, and neither can a later one in that key be.
    const std::u16string_view keys(keys_);
    const std::u16string_view wanted(query.utf16(), query.size());
    std::size_t row = 0;
    for (std::size_t at = keys.find(wanted); at != keys.npos; at = keys.find(wanted, at)) {
        while (ends_[row] <= at)
            ++row;
        if (at + wanted.size() <= ends_[row])
            rows.push_back(row);
        at = ends_[row++];
    }
    return rows;
}

QString ChatSearchIndex::searchKey(QStringView text) {
    return text.toString().toLower().normalized(QString::NormalizationForm_C);
}

QString ChatSearchIndex::query(QStringView searchText) {
    while (!searchText.isEmpty() && isQuerySpace(searchText.front()))
        searchText = searchText.sliced(1);
    while (!searchText.isEmpty() && isQuerySpace(searchText.back()))
        searchText.chop(1);
    return searchKey(searchText);
}

} // namespace tovin
