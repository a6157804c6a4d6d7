#include "intake/TemporaryImageFile.h"

#include "intake/FileURL.h"
#include "intake/PNGWriter.h"

#include <QIODevice>
#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tovin {

namespace {

// Writes to an open file through a buffer of its own and keeps the first error, so that a failed
// write can be reported with the system's own code. Encoders write in small pieces; the buffer
// keeps that from becoming a system call per piece.
class DescriptorDevice final : public QIODevice {
public:
    explicit DescriptorDevice(FileDescriptor file)
        : file_(std::move(file)) {
        buffer_.reserve(bufferSize);
        open(QIODevice::WriteOnly);
    }

    bool isSequential() const override { return true; }

    // Writes out what the buffer holds and closes the file, whose close may be the first to
    // report a lost write; false once anything has failed.
    bool finish() {
        if (!drain())
            return false;
        if (file_.close())
            return true;
        error_ = std::error_code(errno, std::generic_category());
        return false;
    }

    std::error_code error() const { return error_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override {
        const auto length = static_cast<std::size_t>(size);
        if (buffer_.size() + length > bufferSize && !drain())
            return -1;
        if (length >= bufferSize)
            return writeAll(data, length) ? size : -1;
        buffer_.insert(buffer_.end(), data, data + length);
        return size;
    }

private:
    static constexpr std::size_t bufferSize = 64 * 1024;

    // Writes out what the buffer holds; false once any write has failed.
    bool drain() {
        const bool written = !error_ && writeAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return written;
    }

    bool writeAll(const char* data, std::size_t length) {
        if (file_.writeAll({data, length}))
            return true;
        error_ = std::error_code(errno, std::generic_category());
        return false;
    }

    FileDescriptor file_;
    std::vector<char> buffer_;
    std::error_code error_;
};

[[noreturn]] void throwWriteError(const std::filesystem::path& file, std::error_code error) {
    throw std::filesystem::filesystem_error("Could not write the temporary file", file, error);
}

std::optional<QUrl> writePNGFile(const QImage& image, FileManager& fileManager,
                                 UUIDSource& uuidSource) {
    if (image.isNull())
        return std::nullopt;
    const auto file = temporaryItemPath(fileManager, uuidSource, ".png");
    DescriptorDevice device(fileManager.createPrivateFile(file));
    const bool encoded = writePNG(image, device);
    if (!device.finish())
        throwWriteError(file, device.error());
    if (!encoded) {
        // The encoder gave up on its own: the partial file must not pass for the image.
        fileManager.removeItem(file);
        return std::nullopt;
    }
    return fileURL(file);
}

QUrl writeBytes(const QByteArray& bytes, FileManager& fileManager, UUIDSource& uuidSource) {
    const auto file = temporaryItemPath(fileManager, uuidSource);
    DescriptorDevice device(fileManager.createPrivateFile(file));
    if (device.write(bytes) != bytes.size() || !device.finish())
        throwWriteError(file, device.error());
    return fileURL(file);
}

} // namespace

std::filesystem::path temporaryItemPath(FileManager& fileManager, UUIDSource& uuidSource,
                                        std::string_view extension) {
    return fileManager.temporaryDirectory() /
           ("tovin-share-" + uuidSource.newUUID() + std::string(extension));
}

std::optional<QUrl> writeTemporaryImageFile(const LoadedItem::Item& item, FileManager& fileManager,
                                            UUIDSource& uuidSource) {
    if (const auto* image = std::get_if<QImage>(&item))
        return writePNGFile(*image, fileManager, uuidSource);
    if (const auto* bytes = std::get_if<QByteArray>(&item))
        return writeBytes(*bytes, fileManager, uuidSource);
    return std::nullopt;
}

} // namespace tovin
