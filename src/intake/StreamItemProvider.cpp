#include "intake/StreamItemProvider.h"

#include "intake/FileURL.h"
#include "intake/TemporaryImageFile.h"
#include "intake/TypeRegistry.h"
#include "shared/UTF8.h"

#include <QMimeDatabase>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>
#include <new>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <variant>
#include <vector>

namespace tovin {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t chunkSize = 64 * 1024;
// As much of the start as the MIME database looks at to tell a type by its content.
constexpr std::size_t sniffSize = 16 * 1024;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// What the stream turned out to be: its type and the item a load of that type delivers.
struct Content {
    std::string typeIdentifier;
    LoadedItem::Item item;
};

using Outcome = std::variant<Content, std::error_code>;

QMimeType typeOfContent(const std::string& start) {
    return QMimeDatabase().mimeTypeForData(QByteArray::fromRawData(
        start.data(), static_cast<qsizetype>(std::min(start.size(), sniffSize))));
}

bool isText(const QMimeType& type) {
    return type.inherits(QStringLiteral("text/plain"));
}

bool isImage(const QMimeType& type) {
    return conformsTo(type.name().toStdString(), TypeIdentifier::image);
}

// Where the bytes go: memory while they may still be text, then a file once they cannot be.
class Sink {
public:
    Sink(FileManager& fileManager, UUIDSource& uuidSource)
        : fileManager_(fileManager)
        , uuidSource_(uuidSource) {}
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // Removes what it made unless the stream ended: a partial file must not fill the disk.
    ~Sink() {
        if (!made_ || ended_)
            return;
        try {
            fileManager_.removeItem(*made_);
        } catch (const fs::filesystem_error&) {
            // Left to whoever ends the run.
        }
    }

    void take(std::string_view bytes) {
        if (file_)
            return write(bytes);
        buffer_.append(bytes);
        if (buffer_.size() > StreamItemProvider::textLimit ||
            (buffer_.size() >= sniffSize && !isText(typeOfBuffer())))
            spill();
    }

    Content end() {
        if (!file_) {
            if (buffer_.empty() || (isText(typeOfBuffer()) && detail::isUTF8(buffer_)))
                return {std::string(TypeIdentifier::utf8PlainText),
                        QByteArray(buffer_.data(), static_cast<qsizetype>(buffer_.size()))};
            spill();
        }
        if (!file_.close())
            throw fs::filesystem_error("cannot write", path_, lastError());
        ended_ = true;
        return {isImage(type_) ? type_.name().toStdString() : std::string(TypeIdentifier::fileURL),
                fileURL(path_)};
    }

private:
    // The type of the bytes so far, judged once from the first of them that tell it, or from all
    // while fewer have come.
    QMimeType typeOfBuffer() {
        if (judged_)
            return *judged_;
        QMimeType type = typeOfContent(buffer_);
        if (buffer_.size() >= sniffSize)
            judged_ = type;
        return type;
    }

    // The bytes cannot be text any longer: they go to a file named after their type.
    void spill() {
        type_ = typeOfBuffer();
        const fs::path named = temporaryItemPath(fileManager_, uuidSource_);
        if (isImage(type_)) {
            path_ = named;
        } else {
            fileManager_.createPrivateDirectory(named);
            made_ = named;
            const QString suffix = type_.preferredSuffix();
            path_ = named / ("shared" + (suffix.isEmpty() ? "" : "." + suffix.toStdString()));
        }
        file_ = fileManager_.createPrivateFile(path_);
        if (!made_)
            made_ = path_;
        write(buffer_);
        std::string().swap(buffer_);
    }

    void write(std::string_view bytes) {
        if (!file_.writeAll(bytes))
            throw fs::filesystem_error("cannot write", path_, lastError());
    }

    FileManager& fileManager_;
    UUIDSource& uuidSource_;
    std::string buffer_;
    std::optional<QMimeType> judged_;
    QMimeType type_;
    FileDescriptor file_;
    fs::path path_;
    // The file or folder made in the temporary folder.
    std::optional<fs::path> made_;
    bool ended_ = false;
};

LoadedItem answer(const Outcome& outcome, std::string_view typeIdentifier) {
    if (const auto* error = std::get_if<std::error_code>(&outcome))
        return {{}, *error};
    const Content& content = std::get<Content>(outcome);
    if (!conformsTo(content.typeIdentifier, typeIdentifier))
        return {{}, std::make_error_code(std::errc::not_supported)};
    return {content.item};
}

} // namespace

// The state the provider shares with its reading thread.
class StreamItemProvider::Reading {
public:
    Reading(FileDescriptor stream, std::shared_ptr<FileManager> fileManager,
            std::shared_ptr<UUIDSource> uuidSource)
        : stream_(std::move(stream))
        , wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
        , fileManager_(std::move(fileManager))
        , uuidSource_(std::move(uuidSource)) {
        if (!wake_)
            throw std::system_error(lastError(), "cannot make an event descriptor");
    }

    // On the reading thread: reads to the end, then answers the loads.
    void run() {
        Outcome outcome = read();
        stream_.close();
        std::vector<std::pair<std::string, ItemCompletion>> waiting;
        {
            const std::scoped_lock lock(mutex_);
            outcome_ = outcome;
            waiting.swap(waiting_);
        }
        for (const auto& [typeIdentifier, completion] : waiting)
            completion(answer(outcome, typeIdentifier));
    }

    void stop() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
    }

    bool offers(std::string_view typeIdentifier) const {
        const std::scoped_lock lock(mutex_);
        if (outcome_ && std::holds_alternative<Content>(*outcome_))
            return conformsTo(std::get<Content>(*outcome_).typeIdentifier, typeIdentifier);
        return std::ranges::any_of(
            std::array{TypeIdentifier::fileURL, TypeIdentifier::image,
                       TypeIdentifier::utf8PlainText},
            [&](std::string_view offered) { return conformsTo(offered, typeIdentifier); });
    }

    void load(std::string_view typeIdentifier, ItemCompletion completion) {
        const std::scoped_lock lock(mutex_);
        if (!outcome_) {
            waiting_.emplace_back(typeIdentifier, std::move(completion));
            return;
        }
        QThreadPool::globalInstance()->start(
            [completion = std::move(completion), loaded = answer(*outcome_, typeIdentifier)] {
                completion(loaded);
            });
    }

private:
    Outcome read() {
        // A stream that is not open, such as standard input closed by the caller, gives nothing.
        if (!stream_)
            return std::make_error_code(std::errc::bad_file_descriptor);
        try {
            Sink sink(*fileManager_, *uuidSource_);
            std::vector<char> chunk(chunkSize);
            for (;;) {
                std::array<pollfd, 2> ready{{{stream_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}}};
                if (::poll(ready.data(), ready.size(), -1) < 0) {
                    if (errno == EINTR)
                        continue;
                    return lastError();
                }
                if (ready[1].revents != 0)
                    return std::make_error_code(std::errc::operation_canceled);
                const ssize_t count = ::read(stream_.get(), chunk.data(), chunk.size());
                if (count < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (count < 0)
                    return lastError();
                if (count == 0)
                    return sink.end();
                sink.take({chunk.data(), static_cast<std::size_t>(count)});
            }
        } catch (const std::system_error& error) {
            return error.code();
        } catch (const std::bad_alloc&) {
            return std::make_error_code(std::errc::not_enough_memory);
        }
    }

    FileDescriptor stream_;
    const FileDescriptor wake_;
    const std::shared_ptr<FileManager> fileManager_;
    const std::shared_ptr<UUIDSource> uuidSource_;
    mutable std::mutex mutex_;
    std::optional<Outcome> outcome_;
    std::vector<std::pair<std::string, ItemCompletion>> waiting_;
};

StreamItemProvider::StreamItemProvider(FileDescriptor stream,
                                       std::shared_ptr<FileManager> fileManager,
                                       std::shared_ptr<UUIDSource> uuidSource)
    : reading_(std::make_shared<Reading>(std::move(stream), std::move(fileManager),
                                         std::move(uuidSource)))
    , reader_([reading = reading_] { reading->run(); }) {}

StreamItemProvider::~StreamItemProvider() {
    stop();
}

bool StreamItemProvider::hasItemConformingTo(std::string_view typeIdentifier) const {
    return reading_->offers(typeIdentifier);
}

void StreamItemProvider::loadItem(std::string_view typeIdentifier,
                                  ItemCompletion completion) const {
    reading_->load(typeIdentifier, std::move(completion));
}

void StreamItemProvider::stop() {
    reading_->stop();
    if (reader_.joinable())
        reader_.join();
}

} // namespace tovin
