#pragma once

#include "shared/FileManagerWrapper.h"

#include <filesystem>
#include <mutex>
#include <vector>

namespace tovin::share {

// A file manager that remembers the files and folders it creates directly in the temporary
// folder, those of images and of standard input, so that the run removes them when it ends: by
// then they are copied into the outbox, or not wanted. Safe to use from any thread.
class TemporaryFileRecorder final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;

    FileDescriptor createPrivateFile(const std::filesystem::path& file) override;
    void createPrivateDirectory(const std::filesystem::path& folder) override;

    // Removes what it recorded, passing over what cannot be removed, and from then on refuses to
    // create anything in the temporary folder (`std::errc::operation_canceled`), so that a thread
    // still at work leaves nothing behind.
    void removeRecorded();

private:
    // Creates `item` with `create`, and records it when it lies in the temporary folder.
    template <typename Create> auto record(const std::filesystem::path& item, Create create);

    std::mutex mutex_;
    std::vector<std::filesystem::path> recorded_;
    bool removed_ = false;
};

} // namespace tovin::share
