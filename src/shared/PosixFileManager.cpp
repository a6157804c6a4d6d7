#include "shared/PosixFileManager.h"

#include "shared/PathComponent.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovin {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

[[noreturn]] void fail(const char* what, const fs::path& path,
                       std::error_code error = lastError()) {
    throw fs::filesystem_error(what, path, error);
}

[[noreturn]] void fail(const char* what, const fs::path& source, const fs::path& destination,
                       std::error_code error = lastError()) {
    throw fs::filesystem_error(what, source, destination, error);
}

FileDescriptor openFile(const fs::path& path, int flags, mode_t mode = 0) {
    for (;;) {
        FileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC, mode));
        if (fd || errno != EINTR)
            return fd;
    }
}

using CopyProgress = FileManager::CopyProgress;

// The most a copy moves between two progress reports.
constexpr std::size_t pieceSize = std::size_t{64} << 20;

void report(const CopyProgress& progress, std::uintmax_t bytes) {
    if (progress && bytes > 0)
        progress(bytes);
}

// Copies pieces of one file to the same offsets of another: by the kernel while it can, else by
// reading and writing.
class PieceCopier {
public:
    PieceCopier(int in, int out)
        : in_(in)
        , out_(out) {}

    // Copies at most `length` bytes at `offset`. Returns the count copied, 0 at the end of the
    // file, or -1 with `errno` set.
    ssize_t copy(off_t offset, std::size_t length) {
        if (byKernel_) {
            loff_t from = offset, to = offset;
            const ssize_t count = ::copy_file_range(in_, &from, out_, &to, length, 0);
            if (count >= 0 ||
                !(errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
                return count;
            byKernel_ = false;
        }
        return byReading(offset, length);
    }

    // As `copy`, always by reading and writing: what the file system serves past a file's
    // reported size, the kernel's copy may not see.
    ssize_t byReading(off_t offset, std::size_t length) {
        if (!buffer_)
            buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize);
        const ssize_t count = ::pread(in_, buffer_.get(), std::min(length, bufferSize), offset);
        for (ssize_t written = 0; written < count;) {
            const ssize_t more =
                ::pwrite(out_, buffer_.get() + written, static_cast<std::size_t>(count - written),
                         offset + written);
            if (more < 0 && errno != EINTR)
                return -1;
            written += std::max<ssize_t>(more, 0);
        }
        return count;
    }

private:
    static constexpr std::size_t bufferSize = 1 << 20;

    int in_;
    int out_;
    bool byKernel_ = true;
    std::unique_ptr<char[]> buffer_;
};

// Copies what lies at and past `offset` to the end of the file, which files under /proc and
// /sys (reporting size 0, or 4096) put past their size. Returns where the file ended, or -1 with
// `errno` set.
off_t copyToEnd(PieceCopier& copier, off_t offset, const CopyProgress& progress) {
    for (;;) {
        const ssize_t count = copier.byReading(offset, pieceSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count < 0 ? -1 : offset;
        offset += count;
        report(progress, static_cast<std::uintmax_t>(count));
    }
}

// Shared blocks where the file system has them; else the data, piece by piece, its holes left as
// holes (each reported with the data after it), then whatever follows the reported size.
bool copyContents(int in, off_t size, const FileDescriptor& out, const CopyProgress& progress) {
    if (::ioctl(out.get(), FICLONE, in) == 0) {
        report(progress, static_cast<std::uintmax_t>(size));
        return true;
    }
    PieceCopier copier(in, out.get());
    off_t position = 0, reported = 0;
    while (position < size) {
        const off_t data = ::lseek(in, position, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break; // a hole up to the end
        position = data < 0 ? position : data;
        const off_t hole = ::lseek(in, position, SEEK_HOLE);
        const off_t end = hole < 0 ? size : std::min(hole, size);
        while (position < end) {
            const ssize_t count = copier.copy(
                position, static_cast<std::size_t>(std::min<off_t>(pieceSize, end - position)));
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return false;
            if (count == 0) {
                size = position; // the source got shorter meanwhile
                break;
            }
            position += count;
            report(progress, static_cast<std::uintmax_t>(position - reported));
            reported = position;
        }
    }
    report(progress, static_cast<std::uintmax_t>(size - reported));
    const off_t end = copyToEnd(copier, size, progress);
    if (end < 0)
        return false;
    // A hole at the end is made by giving the copy its length.
    return end > size || position >= size || ::ftruncate(out.get(), size) == 0;
}

void syncDescriptor(int fd, const fs::path& path) {
    if (::fsync(fd) != 0)
        fail("cannot flush to disk", path);
}

void copyFile(int in, const struct stat& status, const fs::path& source,
              const fs::path& destination, const CopyProgress& progress) {
    const FileDescriptor out =
        openFile(destination, O_WRONLY | O_CREAT | O_EXCL, status.st_mode & 0777);
    if (!out)
        fail("cannot create the copy", source, destination);
    if (!copyContents(in, status.st_size, out, progress))
        fail("cannot copy", source, destination);
}

// The text of a link in the folder `from` that leads to `to`, both relative to the top of a copy
// (empty or "." for the top itself): up to where their paths part, then down.
fs::path relativeLink(const fs::path& from, const fs::path& to) {
    return to.lexically_relative(from).lexically_normal();
}

// The names in an open folder, "." and ".." aside. A listing that fails names the folder.
std::vector<std::string> namesIn(const FileDescriptor& folder, const fs::path& named,
                                 const fs::path& copy) {
    FileDescriptor own(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(own ? ::fdopendir(own.get()) : nullptr,
                                                      ::closedir);
    if (!listing)
        fail("cannot list", named, copy);
    own.release();
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr && errno != 0)
            fail("cannot list", named, copy);
        if (entry == nullptr)
            return names;
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
}

// One `copyItem`, or, when it makes nothing, one `contentSize`: the walk through the item, with
// what it makes of each thing it meets.
class ItemCopy {
public:
    ItemCopy(const fs::path& source, const fs::path& destination, const CopyProgress& progress,
             bool making)
        : source_(source)
        , destination_(destination)
        , progress_(progress)
        , making_(making) {}

    // The bytes of the regular files met, when it makes nothing.
    std::uintmax_t run() {
        std::error_code error;
        root_ = fs::canonical(source_, error);
        if (!error)
            resolvedDestination_ = fs::weakly_canonical(destination_, error);
        if (error)
            fail("cannot copy", source_, destination_, error);
        follow(source_, root_, {});
        return bytes_;
    }

private:
    // A folder being copied, and where its copy is, relative to the top.
    struct Ancestor {
        dev_t device;
        ino_t inode;
        fs::path copy;
    };

    fs::path copyOf(const fs::path& relative) const {
        return relative.empty() ? destination_ : destination_ / relative;
    }

    // `named` leads to the resolved path `target`, outside the shared item or the item itself.
    void follow(const fs::path& named, const fs::path& target, const fs::path& relative) {
        // Copying what holds the copy would copy the copy.
        if (isWithin(resolvedDestination_, target))
            fail("cannot copy an item into itself", named,
                 std::make_error_code(std::errc::invalid_argument));
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0)
            fail("cannot copy", named, copyOf(relative));
        copyAt(named, target, status, relative);
    }

    void copyChild(const fs::path& path, const fs::path& relative) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0)
            fail("cannot copy", path, copyOf(relative));
        if (S_ISLNK(status.st_mode))
            return copyLink(path, relative);
        copyAt(path, path, status, relative);
    }

    void copyLink(const fs::path& link, const fs::path& relative) {
        std::error_code error;
        const fs::path target = fs::canonical(link, error);
        // It holds nothing to send: what it names is missing, or links lead round in a circle.
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory ||
            error == std::errc::too_many_symbolic_link_levels)
            return;
        if (error)
            fail("cannot copy", link, copyOf(relative), error);
        if (isWithin(target, root_))
            return makeLink(relativeLink(relative.parent_path(), target.lexically_relative(root_)),
                            link, relative);
        follow(link, target, relative);
    }

    // `named` is met at `actual`, which is not a link, with `status`.
    void copyAt(const fs::path& named, const fs::path& actual, const struct stat& status,
                const fs::path& relative) {
        if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
            fail("not a regular file or folder", named, copyOf(relative),
                 std::make_error_code(std::errc::not_supported));
        const auto ancestor =
            std::find_if(ancestors_.begin(), ancestors_.end(), [&](const Ancestor& folder) {
                return folder.device == status.st_dev && folder.inode == status.st_ino;
            });
        // A folder met again inside itself is a circle: it becomes a link to its copy.
        if (S_ISDIR(status.st_mode) && ancestor != ancestors_.end())
            return makeLink(relativeLink(relative.parent_path(), ancestor->copy), named, relative);
        if (S_ISREG(status.st_mode) && !making_) {
            bytes_ += static_cast<std::uintmax_t>(status.st_size);
            return;
        }
        // Opened without waiting, and checked again, in case something else took its place.
        const FileDescriptor in = openFile(actual, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
        struct stat opened {};
        if (!in || ::fstat(in.get(), &opened) != 0)
            fail("cannot copy", named, copyOf(relative));
        if ((opened.st_mode & S_IFMT) != (status.st_mode & S_IFMT))
            fail("not a regular file or folder", named, copyOf(relative),
                 std::make_error_code(std::errc::not_supported));
        if (S_ISREG(opened.st_mode))
            return copyFile(in.get(), opened, named, copyOf(relative), progress_);
        if (making_ && ::mkdir(copyOf(relative).c_str(), (opened.st_mode & 0777) | S_IRWXU) != 0)
            fail("cannot create the copy", named, copyOf(relative));
        const std::vector<std::string> names = namesIn(in, named, copyOf(relative));
        ancestors_.push_back({opened.st_dev, opened.st_ino, relative});
        for (const std::string& name : names)
            copyChild(actual / name, relative / name);
        ancestors_.pop_back();
    }

    void makeLink(const fs::path& text, const fs::path& named, const fs::path& relative) {
        if (making_ && ::symlink(text.c_str(), copyOf(relative).c_str()) != 0)
            fail("cannot copy", named, copyOf(relative));
    }

    const fs::path& source_;
    const fs::path& destination_;
    const CopyProgress& progress_;
    const bool making_;
    fs::path root_;
    fs::path resolvedDestination_;
    std::vector<Ancestor> ancestors_;
    std::uintmax_t bytes_ = 0;
};

std::chrono::system_clock::time_point timeOf(const struct timespec& time) {
    const std::chrono::nanoseconds since1970 =
        std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970));
}

fs::path folderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// Hidden temporary files beside `file` are named this, then 12 hexadecimal digits.
std::string temporaryPrefix(const fs::path& file) {
    return "." + file.filename().native() + ".";
}

constexpr std::string_view temporaryDigits = "0123456789abcdef";
constexpr std::size_t temporaryDigitCount = 12;

// A hidden name beside `file` that no other writer picks.
fs::path temporarySibling(const fs::path& file) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::string suffix(temporaryDigitCount, '0');
    for (char& c : suffix)
        c = temporaryDigits[random() % temporaryDigits.size()];
    return folderOf(file) / (temporaryPrefix(file) + suffix);
}

// Deletes the hidden temporary files beside `file` that writers killed an hour ago or more left;
// newer ones may be in use. Failures are ignored: the next writer tries again.
void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = temporaryPrefix(file);
    const auto staleBefore = std::chrono::system_clock::now() - std::chrono::hours(1);
    std::error_code error;
    for (fs::directory_iterator item(folderOf(file), error), end; !error && item != end;
         item.increment(error)) {
        const std::string name = item->path().filename().native();
        struct stat status {};
        if (name.size() == prefix.size() + temporaryDigitCount && name.starts_with(prefix) &&
            name.find_first_not_of(temporaryDigits, prefix.size()) == std::string::npos &&
            ::lstat(item->path().c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            timeOf(status.st_mtim) < staleBefore)
            ::unlink(item->path().c_str());
    }
}

// The name of a temporary file, deleted with this unless the file has been renamed into place.
struct TemporaryName {
    fs::path path;

    TemporaryName() = default;
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName() {
        if (!path.empty())
            ::unlink(path.c_str());
    }
};

// A new file in `file`'s folder: without a name where the file system allows, so that a writer
// killed while writing leaves nothing; else with a hidden name, given to `temporary`.
FileDescriptor createTemporary(const fs::path& file, TemporaryName& temporary) {
    FileDescriptor out = openFile(folderOf(file), O_TMPFILE | O_WRONLY, 0666);
    if (out || (errno != EOPNOTSUPP && errno != EISDIR))
        return out;
    for (;;) {
        const fs::path candidate = temporarySibling(file);
        out = openFile(candidate, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (out)
            temporary.path = candidate;
        if (out || errno != EEXIST)
            return out;
    }
}

// Gives the unnamed file `out` a hidden name beside `file`, to be renamed over it.
bool nameTemporary(const FileDescriptor& out, const fs::path& file, TemporaryName& temporary) {
    const std::string self = "/proc/self/fd/" + std::to_string(out.get());
    for (;;) {
        const fs::path candidate = temporarySibling(file);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
            temporary.path = candidate;
        if (!temporary.path.empty() || errno != EEXIST)
            return !temporary.path.empty();
    }
}

using Producer = std::function<void(const FileManager::ByteSink&)>;

void produceInto(const FileDescriptor& out, const fs::path& file, const Producer& produce) {
    produce([&](std::string_view piece) {
        if (!out.writeAll(piece))
            fail("cannot write", file);
    });
}

void writeAtomically(const fs::path& file, const Producer& produce) {
    removeStaleTemporaries(file);
    TemporaryName temporary;
    FileDescriptor out = createTemporary(file, temporary);
    if (!out)
        fail("cannot write", file);
    produceInto(out, file, produce);
    if (::fsync(out.get()) != 0 ||
        (temporary.path.empty() && !nameTemporary(out, file, temporary)) ||
        ::rename(temporary.path.c_str(), file.c_str()) != 0)
        fail("cannot write", file);
    temporary.path.clear();
    out = FileDescriptor();
    const FileDescriptor folder = openFile(folderOf(file), O_RDONLY | O_DIRECTORY);
    if (!folder)
        fail("cannot open", folderOf(file));
    syncDescriptor(folder.get(), folderOf(file));
}

} // namespace

PosixFileManager::PosixFileManager(std::shared_ptr<const Environment> environment)
    : environment_(std::move(environment)) {}

void PosixFileManager::createDirectory(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        fail("cannot create folder", folder, error);
}

void PosixFileManager::copyItem(const fs::path& source, const fs::path& destination,
                                const CopyProgress& progress) {
    ItemCopy(source, destination, progress, true).run();
}

std::uintmax_t PosixFileManager::contentSize(const fs::path& source, const fs::path& destination) {
    return ItemCopy(source, destination, {}, false).run();
}

std::vector<fs::path> PosixFileManager::contentsOfDirectory(const fs::path& folder) {
    std::vector<fs::path> children;
    for (const fs::directory_entry& child : fs::directory_iterator(folder))
        children.push_back(child.path());
    return children;
}

bool PosixFileManager::isDirectory(const fs::path& item) {
    std::error_code error;
    return fs::is_directory(item, error);
}

std::optional<std::chrono::system_clock::time_point>
PosixFileManager::modificationDate(const fs::path& item) {
    struct stat status {};
    if (::stat(item.c_str(), &status) != 0)
        return std::nullopt;
    return timeOf(status.st_mtim);
}

fs::path PosixFileManager::resolvedPath(const fs::path& item) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(item, error);
    if (error)
        fail("cannot resolve", item, error);
    while (!resolved.has_filename() && resolved.has_relative_path())
        resolved = resolved.parent_path();
    return resolved;
}

void PosixFileManager::removeItem(const fs::path& item) {
    std::error_code error;
    if (fs::remove_all(item, error) == 0 && !error)
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    if (error)
        fail("cannot remove", item, error);
}

void PosixFileManager::moveItem(const fs::path& source, const fs::path& destination) {
    int moved =
        ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
    // A file system that cannot promise not to replace: check first, then rename.
    if (moved != 0 && errno == EINVAL && ::access(destination.c_str(), F_OK) != 0 &&
        errno == ENOENT)
        moved = ::rename(source.c_str(), destination.c_str());
    if (moved != 0)
        fail("cannot move", source, destination);
}

std::string PosixFileManager::readFile(const fs::path& file, std::size_t maximumSize) {
    // Not waiting on a FIFO that stands where a file should be.
    const FileDescriptor in = openFile(file, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct stat status {};
    if (!in || ::fstat(in.get(), &status) != 0)
        fail("cannot read", file);
    if (S_ISDIR(status.st_mode))
        fail("cannot read", file, std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(status.st_mode))
        fail("cannot read", file, std::make_error_code(std::errc::not_supported));
    const auto tooLarge = [&] {
        fail("cannot read", file, std::make_error_code(std::errc::file_too_large));
    };
    if (static_cast<std::uintmax_t>(status.st_size) > maximumSize)
        tooLarge();
    std::string bytes;
    // With room for the few bytes a JSON parser reads past the end, the chat list and the
    // manifests are parsed where they were read, not copied first.
    constexpr std::size_t parserSlack = 64;
    bytes.reserve(static_cast<std::size_t>(status.st_size) + parserSlack);
    std::array<char, 1 << 16> buffer;
    for (;;) {
        // One byte past the limit tells a file that grew meanwhile from one that fits exactly.
        const std::size_t wanted = std::min(buffer.size() - 1, maximumSize - bytes.size()) + 1;
        const ssize_t count = ::read(in.get(), buffer.data(), wanted);
        if (count == 0)
            return bytes;
        if (count < 0 && errno != EINTR)
            fail("cannot read", file);
        if (count > 0)
            bytes.append(buffer.data(), static_cast<std::size_t>(count));
        if (bytes.size() > maximumSize)
            tooLarge();
    }
}

void PosixFileManager::writeFile(const fs::path& file, std::string_view bytes, WriteMode mode) {
    writeFileInPieces(
        file, [bytes](const ByteSink& write) { write(bytes); }, mode);
}

void PosixFileManager::writeFileInPieces(const fs::path& file, const Producer& produce,
                                         WriteMode mode) {
    if (mode == WriteMode::atomic)
        return writeAtomically(file, produce);
    const FileDescriptor out = openFile(file, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (!out)
        fail("cannot write", file);
    produceInto(out, file, produce);
}

void PosixFileManager::synchronize(const fs::path& item) {
    const FileDescriptor fd = openFile(item, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd)
        fail("cannot open", item);
    syncDescriptor(fd.get(), item);
}

bool PosixFileManager::synchronizeTree(const fs::path& item, std::size_t mostItems) {
    std::vector<fs::path> items{item};
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(item, error))) {
        for (fs::recursive_directory_iterator walk(item, error), end; !error && walk != end;
             walk.increment(error)) {
            if (!walk->is_symlink(error))
                items.push_back(walk->path());
            if (items.size() > mostItems)
                return false;
        }
    }
    if (error)
        fail("cannot flush to disk", item, error);
    std::vector<FileDescriptor> opened;
    for (const fs::path& path : items) {
        opened.push_back(openFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
        if (!opened.back())
            fail("cannot flush to disk", path);
        // Every file's data on its way first, so that one commit of the file system's journal
        // can serve many of the flushes below.
        ::sync_file_range(opened.back().get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        syncDescriptor(opened[i].get(), items[i]);
    return true;
}

void PosixFileManager::synchronizeFileSystem(const fs::path& item) {
    const FileDescriptor fd = openFile(item, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd || ::syncfs(fd.get()) != 0)
        fail("cannot flush to disk", item);
}

std::optional<FileDescriptor> PosixFileManager::tryLock(const fs::path& item) {
    FileDescriptor fd = openFile(item, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd)
        fail("cannot lock", item);
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR)
            fail("cannot lock", item);
    }
    return fd;
}

FileDescriptor PosixFileManager::createPrivateFile(const fs::path& file) {
    FileDescriptor fd = openFile(file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!fd)
        fail("cannot create", file);
    return fd;
}

void PosixFileManager::createPrivateDirectory(const fs::path& folder) {
    if (::mkdir(folder.c_str(), S_IRWXU) != 0)
        fail("cannot create folder", folder);
}

fs::path PosixFileManager::temporaryDirectory() {
    const std::optional<std::string> folder = environment_->variable("TMPDIR");
    // A relative folder would name another place once the current folder changes.
    return folder && !folder->empty() ? fs::absolute(*folder) : fs::path("/tmp");
}

} // namespace tovin
