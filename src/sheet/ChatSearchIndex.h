#pragma once

#include "shared/ChatListSnapshot.h"

#include <QString>
#include <QStringView>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace tovin {

// The chat titles prepared once for searching, so that a keystroke only scans them. Titles and
// queries are compared as search keys: lower-cased with the full Unicode mapping, the same in
// every locale and without regard to the letters around (so "İ" becomes "i" followed by U+0307
// and "Σ" becomes "σ" even at the end of a word), then brought to Normalization Form C, so that
// canonically equivalent spellings match while accents stay significant.
class ChatSearchIndex {
public:
    // Prepares every title of `chats`, the index then not referring to `chats`, unless `stop` asks
    // it to give up, which it does soon: no value then. A stop token without a source never asks.
    static std::optional<ChatSearchIndex> prepare(const std::vector<ChatListSnapshot::Entry>& chats,
                                                  std::stop_token stop = {});

    // The positions in the indexed list, ascending, of the chats whose title's search key contains
    // `query`, which must itself be a search key, and not empty. A long list is searched in parts,
    // one a core.
    std::vector<std::size_t> matching(QStringView query) const;

    // The same among `candidates` alone, ascending positions: all there are when the candidates
    // are the matches of a query that `query` contains.
    std::vector<std::size_t> matching(QStringView query,
                                      const std::vector<std::size_t>& candidates) const;

    // The search key of `text`.
    static QString searchKey(QStringView text);

    // The search key of the search field's text, after trimming tabs and space separators
    // (category Zs) from both ends; line breaks and inner white space stay.
    static QString query(QStringView searchText);

private:
    ChatSearchIndex() = default;
    std::u16string_view key(std::size_t position) const;
    std::vector<std::size_t> matchingIn(std::u16string_view query, std::size_t first,
                                        std::size_t end) const;

    // Every title's search key, one after the other; title i ends where ends_[i] says.
    std::u16string keys_;
    std::vector<std::size_t> ends_;
};

} // namespace tovin
