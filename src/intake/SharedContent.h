#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

namespace tovin {

// What the intake collected from a share request, for the summary and for sending.
struct SharedContent {
    // The first non-empty content text, or the first plain text attachment.
    std::optional<QString> sharedText;
    // The last link, as it was shared (see `loadURL`).
    std::optional<QString> sharedURL;
    // Image files, in the order they were shared; the same file may be listed twice.
    std::vector<QUrl> sharedImageURLs;
    // Other files, in the order they were shared; the same file may be listed twice.
    std::vector<QUrl> sharedFileURLs;

    bool operator==(const SharedContent&) const = default;
};

} // namespace tovin
