#include "shared/ShareOutbox.h"

#include "shared/PathComponent.h"
#include "shared/UTF8.h"

#include <algorithm>
#include <limits>
#include <set>

namespace tovin {

namespace fs = std::filesystem;

namespace {

// No share needs a larger manifest; reading a larger one whole would only cost memory and time.
// The writer refuses a share whose manifest would not fit, so that every share it accepts is
// listed.
constexpr std::size_t maximumManifestSize = 16 << 20;

// A "createdAt" as long as any can be written (-2.2250738585072014e-308): a manifest measured with
// it is never shorter than the one written later with the time of writing.
const ShareOutbox::Timestamp
    longestTimestamp(ShareOutbox::Timestamp::duration(-std::numeric_limits<double>::min()));

// Up to this many files and folders, a share is flushed to disk item by item: flushing the whole
// file system would also wait for whatever other programs have written to it. For more, that one
// flush costs less than theirs.
constexpr std::size_t mostItemsFlushedOneByOne = 16;

// Names a folder on its way out of the outbox.
constexpr char removingPrefix[] = ".removing-";

// The name a source is stored by: its last path component. The root, "." and ".." name nothing
// that could be stored, so they count as no name.
std::string storedName(const fs::path& source) {
    const std::string_view name = lastPathComponent(source.native());
    if (name == "/" || name == "." || name == "..")
        return {};
    return std::string(name);
}

// `name` when it is free, else the first free "stem 2.ext", "stem 3.ext", … The extension is
// what follows the last dot, unless the dot starts or ends the name.
std::string freeName(const std::string& name, const std::set<std::string>& taken) {
    if (!taken.contains(name))
        return name;
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0 && dot + 1 != name.size();
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int number = 2;; ++number) {
        std::string candidate = stem + ' ' + std::to_string(number) + extension;
        if (!taken.contains(candidate))
            return candidate;
    }
}

} // namespace

std::vector<fs::path> ShareOutbox::PendingShare::attachmentURLs() const {
    const fs::path attachments = folder / attachmentsFolderName;
    std::vector<fs::path> locations;
    locations.reserve(manifest.attachments.size());
    // Plain joining: a name that starts with "/" must not replace the folder.
    for (const Manifest::Attachment& attachment : manifest.attachments)
        locations.push_back(attachments / fs::path(attachment.filename).relative_path());
    return locations;
}

ShareOutbox::ShareOutbox(fs::path outboxURL, std::shared_ptr<FileManager> fileManager,
                         std::shared_ptr<UUIDSource> uuids, std::shared_ptr<const Clock> clock)
    : outboxURL_(std::move(outboxURL))
    , fileManager_(std::move(fileManager))
    , uuids_(std::move(uuids))
    , clock_(std::move(clock)) {}

std::string ShareOutbox::enqueue(std::int64_t chatId, const std::optional<std::string>& text,
                                 const std::optional<std::string>& url,
                                 const std::vector<AttachmentSource>& attachments,
                                 const Progress& progress) const {
    if (text && !detail::isUTF8(*text))
        throw detail::notUTF8("the text");
    if (url && !detail::isUTF8(*url))
        throw detail::notUTF8("the link");
    refuseSources(attachments);
    std::string id = uuids_->newUUID();
    const fs::path entry = outboxURL_ / id;
    const fs::path folder = entry / attachmentsFolderName;
    std::vector<Manifest::Attachment> recorded = nameAttachments(attachments);
    refuseOversized(Manifest{chatId, text, url, recorded, longestTimestamp});
    std::uintmax_t bytesTotal = 0, bytesDone = 0;
    FileManager::CopyProgress copied;
    if (progress) {
        for (std::size_t i = 0; i < attachments.size(); ++i)
            bytesTotal +=
                fileManager_->contentSize(attachments[i].source, folder / recorded[i].filename);
        progress(0, bytesTotal);
        copied = [&](std::uintmax_t bytes) { progress(bytesDone += bytes, bytesTotal); };
    }

    fileManager_->createDirectory(outboxURL_);
    std::optional<FileDescriptor> hold;
    try {
        fileManager_->createDirectory(entry);
        hold = holdWhileWriting(entry);
        if (!attachments.empty())
            fileManager_->createDirectory(folder);
        for (std::size_t i = 0; i < attachments.size(); ++i)
            fileManager_->copyItem(attachments[i].source, folder / recorded[i].filename, copied);
        flushCopies(entry, !attachments.empty());
        const Manifest manifest{chatId, text, url, std::move(recorded), Timestamp(clock_->now())};
        fileManager_->writeFile(entry / manifestFileName, manifest.encode(), WriteMode::atomic);
    } catch (...) {
        abandon(entry);
        throw;
    }
    return id;
}

void ShareOutbox::refuseSources(const std::vector<AttachmentSource>& attachments) const {
    for (const AttachmentSource& attachment : attachments) {
        // The system would read such a path only up to its NUL, and copy another item.
        if (attachment.source.native().find('\0') != std::string::npos)
            throw fs::filesystem_error("a path holding a NUL byte names no item", attachment.source,
                                       std::make_error_code(std::errc::no_such_file_or_directory));
    }
    if (attachments.empty())
        return;
    const fs::path outbox = fileManager_->resolvedPath(outboxURL_);
    for (const AttachmentSource& attachment : attachments) {
        const fs::path source = fileManager_->resolvedPath(attachment.source);
        if (isWithin(source, outbox) || isWithin(outbox, source))
            throw fs::filesystem_error(
                "cannot share the outbox, anything in it, or a folder that holds it",
                attachment.source, std::make_error_code(std::errc::invalid_argument));
    }
}

std::vector<ShareOutbox::Manifest::Attachment>
ShareOutbox::nameAttachments(const std::vector<AttachmentSource>& attachments) const {
    std::vector<Manifest::Attachment> recorded;
    std::set<std::string> taken;
    for (const AttachmentSource& attachment : attachments) {
        // The manifest is UTF-8; the file system's names are bytes.
        std::string name = detail::replacingInvalidUTF8(storedName(attachment.source));
        if (name.empty())
            name = uuids_->newUUID();
        name = freeName(name, taken);
        taken.insert(name);
        recorded.push_back({attachment.kind, std::move(name)});
    }
    return recorded;
}

void ShareOutbox::refuseOversized(const Manifest& longest) {
    const auto fits = [](const Manifest& manifest) {
        return manifest.encode().size() <= maximumManifestSize;
    };
    if (fits(longest))
        return;
    Manifest filesAlone = longest;
    filesAlone.text.reset();
    filesAlone.url.reset();
    if ((longest.text || longest.url) && fits(filesAlone))
        throw std::system_error(std::make_error_code(std::errc::message_size),
                                "the text and the link are too long for a share");
    throw std::system_error(std::make_error_code(std::errc::argument_list_too_long),
                            "a share cannot list that many files, or names that long");
}

void ShareOutbox::flushCopies(const fs::path& entry, bool hasCopies) const {
    if (hasCopies && !fileManager_->synchronizeTree(entry, mostItemsFlushedOneByOne))
        fileManager_->synchronizeFileSystem(entry);
    fileManager_->synchronize(outboxURL_);
}

std::optional<FileDescriptor> ShareOutbox::holdWhileWriting(const fs::path& entry) const {
    std::optional<FileDescriptor> hold;
    try {
        hold = fileManager_->tryLock(entry);
    } catch (const std::exception&) {
        // A file system without locks: `removeLeftovers` goes by age alone there.
        return std::nullopt;
    }
    // Only `removeLeftovers`, about to delete the entry, can hold a lock on a folder this new.
    if (!hold)
        throw fs::filesystem_error("cannot write", entry,
                                   std::make_error_code(std::errc::device_or_resource_busy));
    return hold;
}

std::vector<fs::path> ShareOutbox::removeLeftovers(std::chrono::seconds age) const {
    std::vector<fs::path> children;
    try {
        children = fileManager_->contentsOfDirectory(outboxURL_);
    } catch (const std::exception&) {
        return {};
    }
    const auto latest = clock_->now() - age;
    std::vector<fs::path> removed;
    for (const fs::path& child : children) {
        const auto changed = fileManager_->modificationDate(child);
        if (!changed || *changed > latest)
            continue;
        // Held first: a writer holds its entry from its creation until its manifest is written,
        // so an entry found free and without a manifest stays so.
        std::optional<FileDescriptor> hold;
        try {
            hold = fileManager_->tryLock(child);
            if (!hold)
                continue; // still being written
        } catch (const std::exception&) {
            // Gone, or on a file system without locks: its age alone tells.
        }
        if (!isLeftover(child))
            continue;
        try {
            fileManager_->removeItem(child);
            removed.push_back(child);
        } catch (const std::exception&) {
            // In use, or not ours to delete: a later pass may find it gone or removable.
        }
    }
    return removed;
}

bool ShareOutbox::isLeftover(const fs::path& child) const {
    const std::string name = child.filename().native();
    if (name.starts_with(removingPrefix))
        return true;
    // Other hidden items are not the outbox's to delete.
    return !name.starts_with('.') && fileManager_->isDirectory(child) &&
           !fileManager_->modificationDate(child / manifestFileName);
}

void ShareOutbox::abandon(const fs::path& entry) const {
    // The manifest goes first, in one step that needs no free space, so that what is left of an
    // entry whose deletion fails part-way is never listed.
    for (const fs::path& item : {entry / manifestFileName, entry}) {
        try {
            fileManager_->removeItem(item);
        } catch (const std::exception&) {
            // Not there, or not removable: `outbox clean` removes what is left.
        }
    }
}

std::vector<ShareOutbox::PendingShare> ShareOutbox::pending() const {
    std::vector<fs::path> children;
    try {
        children = fileManager_->contentsOfDirectory(outboxURL_);
    } catch (const std::exception&) {
        return {};
    }
    std::vector<PendingShare> shares;
    for (const fs::path& child : children) {
        // Hidden folders are removals under way, or not the outbox's.
        if (child.filename().native().starts_with('.') || !fileManager_->isDirectory(child))
            continue;
        try {
            Manifest manifest = Manifest::decode(
                fileManager_->readFile(child / manifestFileName, maximumManifestSize));
            shares.push_back({child.filename().native(), child, std::move(manifest)});
        } catch (const std::exception&) {
            // Not complete, or not a share: another pass may find it whole.
        }
    }
    std::stable_sort(shares.begin(), shares.end(), [](const auto& a, const auto& b) {
        return a.manifest.createdAt < b.manifest.createdAt;
    });
    return shares;
}

void ShareOutbox::remove(const PendingShare& share) const {
    // The folder's own name, though it was given with a trailing separator.
    const fs::path folder = share.folder.has_filename() ? share.folder : share.folder.parent_path();
    const fs::path hidden = folder.parent_path() / (removingPrefix + uuids_->newUUID());
    try {
        fileManager_->moveItem(folder, hidden);
        fileManager_->removeItem(hidden);
    } catch (const std::exception&) {
        // Already gone, or not ours to delete: the next listing shows what is left.
    }
}

} // namespace tovin
