#pragma once

#include "shared/ChatListSnapshot.h"

#include <QString>
#include <QStringView>
#include <cstddef>
#include <string>
#include <vector>

namespace tovin {

// The chat titles prepared once for searching, so that a keystroke only scans them. Titles and
// queries are compared as search keys: lower-cased with the full Unicode mapping, the same in
// every locale and without regard to the letters around (so "İ" becomes "i" followed by U+0307
// and "Σ" becomes "σ" even at the end of a word), then brought to Normalization Form C, so that
// canonically equivalent spellings match while accents stay significant.
class ChatSearchIndex {
public:
    // Prepares every title of `chats`; the index does not refer to `chats` afterwards.
    explicit ChatSearchIndex(const std::vector<ChatListSnapshot::Entry>& chats);

    // The positions in the indexed list, ascending, of the chats whose title's search key contains
    // `query`, which must itself be a search key, and not empty.
    std::vector<std::size_t> matching(QStringView query) const;

    // The search key of `text`.
    static QString searchKey(QStringView text);

    // The search key of the search field's text, after trimming tabs and space separators
    // (category Zs) from both ends; line breaks and inner white space stay.
    static QString query(QStringView searchText);

private:
    // Every title's search key, one after the other; title i ends where ends_[i] says.
    std::u16string keys_;
    std::vector<std::size_t> ends_;
};

} // namespace tovin
