#pragma once

#include "shared/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovin {

// How `FileManager::writeFile` puts bytes on disk.
enum class WriteMode {
    // One write into the named file, created or truncated; a failure may leave a partial file.
    plain,
    // A new file in the same folder, written and flushed to disk, then renamed over the target
    // and the folder flushed: a reader sees the old file or the whole new one. The new file has
    // no name while it is written, where the file system allows, else a hidden one; a hidden
    // file that a writer killed an hour ago or more left beside the target goes with the next
    // atomic write of it.
    atomic,
};

// Every file-system operation of the shared container and the intake. Failures are thrown as
// `std::filesystem::filesystem_error` carrying the operating system's error code and the paths
// concerned; an operation that throws may have done part of its work.
class FileManager {
public:
    virtual ~FileManager() = default;

    // Creates the folder and any missing parents; a folder that exists already is success.
    virtual void createDirectory(const std::filesystem::path& folder) = 0;

    // Told the size of each piece of a copy as it lands, a piece being at most 64 MiB (a file
    // whose blocks the file system shares with its copy counts as one piece).
    using CopyProgress = std::function<void(std::uintmax_t bytesCopied)>;

    // Copies a regular file, or a folder with everything in it, to `destination`, which must not
    // exist and is never overwritten; each file is copied to its end, whatever size it reports (as
    // files under /proc do). A symbolic link given as `source` is followed. Nothing in the copy
    // leads outside it: in a folder, a link to something inside the folder stays a link, made
    // relative; a link that leads nowhere (missing, or round in a circle) is left out; any other is
    // replaced by a copy of what it leads to, or by a link to that copy where the walk is already
    // inside it. Refused: anything else than a file or folder (a FIFO, a device, a socket) with
    // `std::errc::not_supported`, and a followed item that holds `destination` with
    // `std::errc::invalid_argument` and that item alone as the error's path. Every error names the
    // item it concerns as given or as met inside the folder (a link by its own path). The copy need
    // not be on disk yet when this returns (see `synchronizeTree`). `progress`, when given, is
    // called on this thread.
    virtual void copyItem(const std::filesystem::path& source,
                          const std::filesystem::path& destination,
                          const CopyProgress& progress) = 0;

    // The bytes that `copyItem(source, destination, …)` would copy: the size of a regular file, or
    // the sizes of the regular files it would copy from a folder, links taken as it takes them.
    // Fails as `copyItem` would for a folder it cannot list, a link it cannot follow, and what it
    // refuses.
    virtual std::uintmax_t contentSize(const std::filesystem::path& source,
                                       const std::filesystem::path& destination) = 0;

    // Every immediate child of the folder, hidden ones included, in the order the file system
    // gives them.
    virtual std::vector<std::filesystem::path>
    contentsOfDirectory(const std::filesystem::path& folder) = 0;

    // Whether the item exists and is a folder, a symbolic link counting as what it points to.
    // Never throws: an item that cannot be examined is not a folder.
    virtual bool isDirectory(const std::filesystem::path& item) = 0;

    // When the item last changed (for a folder, its list of names), a symbolic link counting as
    // what it points to; no value when it does not exist or cannot be examined.
    virtual std::optional<std::chrono::system_clock::time_point>
    modificationDate(const std::filesystem::path& item) = 0;

    // The item's absolute path with every symbolic link, "." and ".." resolved, as far as the
    // item exists (what does not is appended as written), and no trailing separator.
    virtual std::filesystem::path resolvedPath(const std::filesystem::path& item) = 0;

    // Deletes the item, and everything in it when it is a folder.
    virtual void removeItem(const std::filesystem::path& item) = 0;

    // Gives the item a new name on the same file system in one step; an existing `destination`
    // is never replaced.
    virtual void moveItem(const std::filesystem::path& source,
                          const std::filesystem::path& destination) = 0;

    // All the bytes of the file when it holds at most `maximumSize` of them; a larger file is
    // refused with `std::errc::file_too_large`, having read no more than one byte past that.
    // Anything but a regular file is refused without waiting on it.
    virtual std::string readFile(const std::filesystem::path& file, std::size_t maximumSize) = 0;

    // All the bytes of the file, refused as by `readFile(file, maximumSize)`.
    std::string readFile(const std::filesystem::path& file) {
        return readFile(file, std::numeric_limits<std::size_t>::max());
    }

    virtual void writeFile(const std::filesystem::path& file, std::string_view bytes,
                           WriteMode mode) = 0;

    // Takes a file's bytes piece by piece, in order.
    using ByteSink = std::function<void(std::string_view piece)>;

    // Writes the file as `writeFile` does, with the bytes that `produce` hands to the sink it is
    // given, so that they need never be in memory all at once. What `produce` throws ends the
    // write as a failure to write does, and is thrown unchanged.
    virtual void writeFileInPieces(const std::filesystem::path& file,
                                   const std::function<void(const ByteSink&)>& produce,
                                   WriteMode mode) = 0;

    // Flushes a file or a folder (its list of names) to disk.
    virtual void synchronize(const std::filesystem::path& item) = 0;

    // Flushes the file, or the folder with everything in it (links not followed), to disk item by
    // item, and returns true, when they number at most `mostItems`; flushes nothing and returns
    // false when there are more.
    virtual bool synchronizeTree(const std::filesystem::path& item, std::size_t mostItems) = 0;

    // Flushes everything written to the file system that holds the item to disk, and fails if
    // the system could not write some of it.
    virtual void synchronizeFileSystem(const std::filesystem::path& item) = 0;

    // Takes an exclusive advisory lock on the file or folder without waiting, held until the
    // returned descriptor is closed or the process ends, however it ends. No value when another
    // holder has it (another process, or another descriptor of this one); throws when the item
    // cannot be opened or its file system cannot lock.
    virtual std::optional<FileDescriptor> tryLock(const std::filesystem::path& item) = 0;

    // Creates `file` new, readable and writable by its owner alone, and opens it for writing.
    // An existing name, a symbolic link included, is never followed or replaced: it fails.
    virtual FileDescriptor createPrivateFile(const std::filesystem::path& file) = 0;

    // Creates `folder` new, usable by its owner alone; its parent must exist. An existing name,
    // a symbolic link included, fails.
    virtual void createPrivateDirectory(const std::filesystem::path& folder) = 0;

    // The folder where the process may create temporary files.
    virtual std::filesystem::path temporaryDirectory() = 0;
};

} // namespace tovin
