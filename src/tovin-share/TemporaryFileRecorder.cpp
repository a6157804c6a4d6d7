#include "tovin-share/TemporaryFileRecorder.h"

#include <system_error>

namespace tovin::share {

namespace fs = std::filesystem;

template <typename Create> auto TemporaryFileRecorder::record(const fs::path& item, Create create) {
    if (item.parent_path() != temporaryDirectory())
        return create();
    // Held while creating, so that nothing is created once the run has removed its files.
    const std::scoped_lock lock(mutex_);
    if (removed_)
        throw fs::filesystem_error("the run is ending", item,
                                   std::make_error_code(std::errc::operation_canceled));
    auto created = create();
    recorded_.push_back(item);
    return created;
}

FileDescriptor TemporaryFileRecorder::createPrivateFile(const fs::path& file) {
    return record(file, [&] { return FileManagerWrapper::createPrivateFile(file); });
}

void TemporaryFileRecorder::createPrivateDirectory(const fs::path& folder) {
    record(folder, [&] {
        FileManagerWrapper::createPrivateDirectory(folder);
        return true;
    });
}

void TemporaryFileRecorder::removeRecorded() {
    const std::scoped_lock lock(mutex_);
    removed_ = true;
    for (const fs::path& item : recorded_) {
        try {
            removeItem(item);
        } catch (const fs::filesystem_error&) {
            // Gone already, or not ours to remove any longer.
        }
    }
    recorded_.clear();
}

} // namespace tovin::share
