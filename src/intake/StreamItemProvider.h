#pragma once

#include "intake/ItemProvider.h"
#include "shared/FileDescriptor.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <cstddef>
#include <memory>
#include <thread>

namespace tovin {

// An attachment read from a stream, such as standard input, on a thread of its own from the
// moment it is made, so that nobody waits for the stream to end but a load. Its kind is judged
// by its content: an image, whose bytes go to a new file "tovin-share-<UUID>" of the temporary
// folder; UTF-8 text of up to `textLimit` bytes, kept in memory; anything else, text beyond the
// limit included, goes to "shared.<suffix>" (its MIME type's preferred suffix, none when it has
// none) in a new folder "tovin-share-<UUID>" of the temporary folder. Files and folders are
// created new and private to their owner, and left for whoever ends the run to remove.
//
// Until the stream ends it offers a file URL, an image and text; a load waits for the end. Then
// it offers its kind alone, and a load of another type fails with `std::errc::not_supported`.
// Every load fails with the error that ended the reading, when one did: the file system's, the
// stream's, or `std::errc::operation_canceled` once stopped.
class StreamItemProvider final : public ItemProvider {
public:
    static constexpr std::size_t textLimit = 1024 * 1024;

    StreamItemProvider(FileDescriptor stream, std::shared_ptr<FileManager> fileManager,
                       std::shared_ptr<UUIDSource> uuidSource);
    StreamItemProvider(const StreamItemProvider&) = delete;
    StreamItemProvider& operator=(const StreamItemProvider&) = delete;
    // Stops reading.
    ~StreamItemProvider() override;

    bool hasItemConformingTo(std::string_view typeIdentifier) const override;
    void loadItem(std::string_view typeIdentifier, ItemCompletion completion) const override;

    // Stops reading, if the stream has not ended yet, and returns once the reading thread is done
    // with the stream and the file; the loads still waiting fail.
    void stop();

private:
    class Reading;
    std::shared_ptr<Reading> reading_;
    std::jthread reader_;
};

} // namespace tovin
