#pragma once

#include "shared/FileManager.h"

#include <memory>
#include <utility>

namespace tovin {

// Forwards every operation to another file manager, so that a subclass can change just the
// operations it cares about (to count them, or to make one fail).
class FileManagerWrapper : public FileManager {
public:
    explicit FileManagerWrapper(std::shared_ptr<FileManager> target)
        : target_(std::move(target)) {}

    void createDirectory(const std::filesystem::path& folder) override {
        target_->createDirectory(folder);
    }
    void copyItem(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const CopyProgress& progress) override {
        target_->copyItem(source, destination, progress);
    }
    std::uintmax_t contentSize(const std::filesystem::path& source,
                               const std::filesystem::path& destination) override {
        return target_->contentSize(source, destination);
    }
    std::vector<std::filesystem::path>
    contentsOfDirectory(const std::filesystem::path& folder) override {
        return target_->contentsOfDirectory(folder);
    }
    bool isDirectory(const std::filesystem::path& item) override {
        return target_->isDirectory(item);
    }
    std::optional<std::chrono::system_clock::time_point>
    modificationDate(const std::filesystem::path& item) override {
        return target_->modificationDate(item);
    }
    std::filesystem::path resolvedPath(const std::filesystem::path& item) override {
        return target_->resolvedPath(item);
    }
    void removeItem(const std::filesystem::path& item) override { target_->removeItem(item); }
    void moveItem(const std::filesystem::path& source,
                  const std::filesystem::path& destination) override {
        target_->moveItem(source, destination);
    }
    using FileManager::readFile;
    std::string readFile(const std::filesystem::path& file, std::size_t maximumSize) override {
        return target_->readFile(file, maximumSize);
    }
    void writeFile(const std::filesystem::path& file, std::string_view bytes,
                   WriteMode mode) override {
        target_->writeFile(file, bytes, mode);
    }
    void writeFileInPieces(const std::filesystem::path& file,
                           const std::function<void(const ByteSink&)>& produce,
                           WriteMode mode) override {
        target_->writeFileInPieces(file, produce, mode);
    }
    void synchronize(const std::filesystem::path& item) override { target_->synchronize(item); }
    bool synchronizeTree(const std::filesystem::path& item, std::size_t mostItems) override {
        return target_->synchronizeTree(item, mostItems);
    }
    void synchronizeFileSystem(const std::filesystem::path& item) override {
        target_->synchronizeFileSystem(item);
    }
    std::optional<FileDescriptor> tryLock(const std::filesystem::path& item) override {
        return target_->tryLock(item);
    }
    FileDescriptor createPrivateFile(const std::filesystem::path& file) override {
        return target_->createPrivateFile(file);
    }
    void createPrivateDirectory(const std::filesystem::path& folder) override {
        target_->createPrivateDirectory(folder);
    }
    std::filesystem::path temporaryDirectory() override { return target_->temporaryDirectory(); }

private:
    std::shared_ptr<FileManager> target_;
};

} // namespace tovin
