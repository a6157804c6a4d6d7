#pragma once

#include "shared/Environment.h"
#include "shared/FileManager.h"

#include <memory>

namespace tovin {

// The file manager of this machine: POSIX calls, with large files copied by the kernel (a
// reflink where the file system has them, else `copy_file_range`, else reads and writes).
// The temporary folder is "TMPDIR" of the given environment, taken from the current folder when
// relative, else "/tmp".
class PosixFileManager final : public FileManager {
public:
    explicit PosixFileManager(
        std::shared_ptr<const Environment> environment = std::make_shared<ProcessEnvironment>());

    void createDirectory(const std::filesystem::path& folder) override;
    void copyItem(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const CopyProgress& progress) override;
    std::uintmax_t contentSize(const std::filesystem::path& source,
                               const std::filesystem::path& destination) override;
    std::vector<std::filesystem::path>
    contentsOfDirectory(const std::filesystem::path& folder) override;
    bool isDirectory(const std::filesystem::path& item) override;
    std::optional<std::chrono::system_clock::time_point>
    modificationDate(const std::filesystem::path& item) override;
    std::filesystem::path resolvedPath(const std::filesystem::path& item) override;
    void removeItem(const std::filesystem::path& item) override;
    void moveItem(const std::filesystem::path& source,
                  const std::filesystem::path& destination) override;
    using FileManager::readFile;
    std::string readFile(const std::filesystem::path& file, std::size_t maximumSize) override;
    void writeFile(const std::filesystem::path& file, std::string_view bytes,
                   WriteMode mode) override;
    void writeFileInPieces(const std::filesystem::path& file,
                           const std::function<void(const ByteSink&)>& produce,
                           WriteMode mode) override;
    void synchronize(const std::filesystem::path& item) override;
    bool synchronizeTree(const std::filesystem::path& item, std::size_t mostItems) override;
    void synchronizeFileSystem(const std::filesystem::path& item) override;
    std::optional<FileDescriptor> tryLock(const std::filesystem::path& item) override;
    FileDescriptor createPrivateFile(const std::filesystem::path& file) override;
    void createPrivateDirectory(const std::filesystem::path& folder) override;
    std::filesystem::path temporaryDirectory() override;

private:
    std::shared_ptr<const Environment> environment_;
};

} // namespace tovin
