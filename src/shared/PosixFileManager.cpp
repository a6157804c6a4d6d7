#include "shared/PosixFileManager.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <random>
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
            buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize);
        }
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

// Shared blocks where the file system has them; else the data, piece by piece, its holes left as
// holes (each reported with the data after it).
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
    return position >= size || ::ftruncate(out.get(), size) == 0;
}

void syncDescriptor(int fd, const fs::path& path) {
    if (::fsync(fd) != 0)
        fail("cannot flush to disk", path);
}

void copyNode(const fs::path& source, const fs::path& destination, bool followLinks,
              const CopyProgress& progress);

void copyFile(int in, const struct stat& status, const fs::path& source,
              const fs::path& destination, const CopyProgress& progress) {
    const FileDescriptor out =
        openFile(destination, O_WRONLY | O_CREAT | O_EXCL, status.st_mode & 0777);
    if (!out)
        fail("cannot create the copy", source, destination);
    if (!copyContents(in, status.st_size, out, progress))
        fail("cannot copy", source, destination);
}

void copyFolder(const struct stat& status, const fs::path& source, const fs::path& destination,
                const CopyProgress& progress) {
    if (::mkdir(destination.c_str(), (status.st_mode & 0777) | S_IRWXU) != 0)
        fail("cannot create the copy", source, destination);
    for (const fs::directory_entry& child : fs::directory_iterator(source))
        copyNode(child.path(), destination / child.path().filename(), false, progress);
}

void copyLink(const fs::path& source, const fs::path& destination) {
    std::error_code error;
    fs::create_symlink(fs::read_symlink(source), destination, error);
    if (error)
        fail("cannot copy", source, destination, error);
}

// Links inside a copied folder stay links; the item the caller names is followed.
void copyNode(const fs::path& source, const fs::path& destination, bool followLinks,
              const CopyProgress& progress) {
    struct stat status {};
    if ((followLinks ? ::stat(source.c_str(), &status) : ::lstat(source.c_str(), &status)) != 0)
        fail("cannot copy", source, destination);
    if (S_ISLNK(status.st_mode))
        return copyLink(source, destination);
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        fail("not a regular file or folder", source, destination,
             std::make_error_code(std::errc::not_supported));
    // Opened without waiting, and checked again, in case something else took its place.
    const FileDescriptor in =
        openFile(source, O_RDONLY | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
    struct stat opened {};
    if (!in || ::fstat(in.get(), &opened) != 0)
        fail("cannot copy", source, destination);
    if ((opened.st_mode & S_IFMT) != (status.st_mode & S_IFMT))
        fail("not a regular file or folder", source, destination,
             std::make_error_code(std::errc::not_supported));
    if (S_ISDIR(opened.st_mode))
        copyFolder(opened, source, destination, progress);
    else
        copyFile(in.get(), opened, source, destination, progress);
}

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
    copyNode(source, destination, true, progress);
}

std::uintmax_t PosixFileManager::contentSize(const fs::path& source) {
    struct stat status {};
    if (::stat(source.c_str(), &status) != 0)
        fail("cannot read", source);
    if (!S_ISDIR(status.st_mode))
        return S_ISREG(status.st_mode) ? static_cast<std::uintmax_t>(status.st_size) : 0;
    std::uintmax_t total = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(source)) {
        if (item.symlink_status().type() == fs::file_type::regular)
            total += item.file_size();
    }
    return total;
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

void PosixFileManager::synchronizeFileSystem(const fs::path& item) {
    const FileDescriptor fd = openFile(item, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd || ::syncfs(fd.get()) != 0)
        fail("cannot flush to disk", item);
}

FileDescriptor PosixFileManager::createPrivateFile(const fs::path& file) {
    FileDescriptor fd = openFile(file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!fd)
        fail("cannot create", file);
    return fd;
}

fs::path PosixFileManager::temporaryDirectory() {
    const std::optional<std::string> folder = environment_->variable("TMPDIR");
    // A relative folder would name another place once the current folder changes.
    return folder && !folder->empty() ? fs::absolute(*folder) : fs::path("/tmp");
}

} // namespace tovin
