#pragma once

#include "shared/Clock.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovin {

// The outbox: one folder per queued share, named by its id, holding "manifest.json" and, when the
// share has files, an "attachments" folder of copies. A manifest marks its entry as complete.
// The value binds an outbox folder to a file manager; copies share the file manager.
class ShareOutbox {
public:
    // What an entry folder holds.
    static constexpr char manifestFileName[] = "manifest.json";
    static constexpr char attachmentsFolderName[] = "attachments";

    // A point in time as milliseconds since 1970, the form the manifest stores it in.
    using Timestamp = std::chrono::sys_time<std::chrono::duration<double, std::milli>>;

    struct Manifest {
        struct Attachment {
            enum class Kind { image, file };

            Kind kind;
            std::string filename; // a single path component inside the entry's "attachments"

            // "image" or "file".
            static std::string_view rawValue(Kind kind);
            // The kind whose raw value is exactly `rawValue`, case included.
            static std::optional<Kind> kindWithRawValue(std::string_view rawValue);

            bool operator==(const Attachment&) const = default;
        };

        std::int64_t chatId;
        std::optional<std::string> text;
        std::optional<std::string> url;
        std::vector<Attachment> attachments;
        Timestamp createdAt;

        bool operator==(const Manifest&) const = default;

        // Pretty-printed UTF-8 JSON with sorted keys and "/" escaped; "text" and "url" are left
        // out when absent. Throws `std::system_error` (`std::errc::illegal_byte_sequence`) when
        // the text, the link or a filename is not UTF-8.
        std::string encode() const;

        // The manifest in `json`, or `DecodeError` naming the first thing that is wrong. A
        // "filename" that is not a single path component (empty, ".", "..", or holding "/" or
        // NUL) is wrong: no attachment of a decoded manifest lies outside its entry.
        static Manifest decode(std::string_view json);
    };

    // One complete entry, as `pending()` finds it.
    struct PendingShare {
        std::string id; // the entry folder's name
        std::filesystem::path folder;
        Manifest manifest;

        // The attachments' locations inside the entry, in manifest order; nothing on disk is
        // consulted.
        std::vector<std::filesystem::path> attachmentURLs() const;

        bool operator==(const PendingShare&) const = default;
    };

    // A file or folder to copy into a new entry, and the kind to record for it.
    struct AttachmentSource {
        Manifest::Attachment::Kind kind;
        std::filesystem::path source;
    };

    // Touches nothing on disk; the outbox folder need not exist yet.
    ShareOutbox(std::filesystem::path outboxURL, std::shared_ptr<FileManager> fileManager,
                std::shared_ptr<UUIDSource> uuids = std::make_shared<RandomUUIDSource>(),
                std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>());

    const std::filesystem::path& outboxURL() const { return outboxURL_; }

    // Called on the writing thread between chunks of at most 64 MiB.
    using Progress = std::function<void(std::uintmax_t bytesDone, std::uintmax_t bytesTotal)>;

    // Queues one share and returns its entry id once the entry is complete and on disk; every
    // share it accepts is one that `pending()` lists, as it was given.
    // Names: each copy keeps its source's name, every byte that is not UTF-8 replaced by U+FFFD;
    // a name already taken in this share gets " 2", " 3", … before its extension. Copies are made
    // as `FileManager::copyItem` makes them: nothing in an entry leads outside it.
    // Refused before anything is made: a text or link that is not UTF-8 (`std::system_error`,
    // `std::errc::illegal_byte_sequence`); a manifest that would pass the 16 MiB `pending()` reads
    // (`std::system_error`, `std::errc::message_size` when the text and link make it so, else
    // `std::errc::argument_list_too_long` for the attachments' names); a source whose path holds
    // a NUL byte (`std::filesystem::filesystem_error`, `std::errc::no_such_file_or_directory`);
    // and a source that is the outbox, lies in it or holds it, links resolved
    // (`std::filesystem::filesystem_error`, `std::errc::invalid_argument`).
    // While writing, it holds a lock on the entry folder (see `FileManager::tryLock`), so that
    // `removeLeftovers` in any process passes over it.
    // Failure: throws the first error unchanged, once it has removed what it made of the entry as
    // far as it could (the outbox folder stays); what `progress` throws counts, so that throwing
    // from it cancels the share.
    // Progress: `progress`, when given, hears of the bytes copied so far out of those the sources
    // held when copying began (counted once, before, as `FileManager::contentSize` counts them;
    // a source that grows meanwhile, or reports no size, can take the count past that), first
    // with none done.
    std::string enqueue(std::int64_t chatId, const std::optional<std::string>& text,
                        const std::optional<std::string>& url,
                        const std::vector<AttachmentSource>& attachments,
                        const Progress& progress = {}) const;

    // The complete entries, earliest `createdAt` first. Never fails: a missing outbox gives the
    // empty list; hidden children, plain files and entries without a readable, valid manifest
    // are passed over. A manifest over 16 MiB is not read, and not valid.
    std::vector<PendingShare> pending() const;

    // Deletes the share's folder with everything in it; a failure is ignored, and a share already
    // gone is no failure. The folder first leaves the listing whole, under a hidden name beside
    // it, so that a removal cut short never leaves a listed share with files missing.
    void remove(const PendingShare& share) const;

    // Deletes what writers and removers cut short left in the outbox, once unchanged for `age` or
    // longer: entry folders without a "manifest.json", and the hidden folders of removals. An
    // entry that a writer still holds (see `enqueue`) is passed over, whatever its age; a killed
    // writer holds nothing. Returns what it deleted. Never fails: what cannot be examined or
    // deleted is passed over.
    std::vector<std::filesystem::path> removeLeftovers(std::chrono::seconds age) const;

private:
    // Throws for the first source that `enqueue` refuses by its path: one holding a NUL byte, or
    // the outbox, anything in it or a folder holding it, whose copy would copy itself.
    void refuseSources(const std::vector<AttachmentSource>& attachments) const;
    // The attachments as the manifest records them, each with the name of its copy.
    std::vector<Manifest::Attachment>
    nameAttachments(const std::vector<AttachmentSource>& attachments) const;
    // Throws when `longest`, measured with the longest "createdAt", does not fit what `pending()`
    // reads.
    static void refuseOversized(const Manifest& longest);
    // Puts the entry's copies, when it has any, and every name down to them on disk, so that a
    // manifest written next never names what a crash could lose.
    void flushCopies(const std::filesystem::path& entry, bool hasCopies) const;
    // The lock that marks `entry` as being written; none on a file system without locks.
    std::optional<FileDescriptor> holdWhileWriting(const std::filesystem::path& entry) const;
    // Deletes what a failed `enqueue` made of an entry, ignoring failures.
    void abandon(const std::filesystem::path& entry) const;
    // Whether the outbox's child is a removal's hidden folder or an entry folder without manifest.
    bool isLeftover(const std::filesystem::path& child) const;

    std::filesystem::path outboxURL_;
    std::shared_ptr<FileManager> fileManager_;
    std::shared_ptr<UUIDSource> uuids_;
    std::shared_ptr<const Clock> clock_;
};

} // namespace tovin
