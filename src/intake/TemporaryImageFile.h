#pragma once

#include "intake/LoadedItem.h"
#include "shared/FileManager.h"
#include "shared/UUIDSource.h"

#include <QUrl>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tovin {

// A new name in the temporary folder for what this run writes there: "tovin-share-<UUID>" and
// `extension`.
std::filesystem::path temporaryItemPath(FileManager& fileManager, UUIDSource& uuidSource,
                                        std::string_view extension = {});

// Turns an image held in memory into a file of the temporary folder and returns the file's URL:
// an image becomes "tovin-share-<UUID>.png", a lossless PNG (see `writePNG`); bytes become
// "tovin-share-<UUID>", unchanged. Each file is created new and readable by its owner alone.
// No value when the item is neither, or is an image with no PNG form; then no file is left.
// A refused or failed write throws the file system's error, and what was written stays.
std::optional<QUrl> writeTemporaryImageFile(const LoadedItem::Item& item, FileManager& fileManager,
                                            UUIDSource& uuidSource);

} // namespace tovin
