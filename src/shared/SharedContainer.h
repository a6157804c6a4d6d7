#pragma once

#include "shared/Environment.h"
#include "shared/FileManager.h"

#include <filesystem>
#include <optional>
#include <string_view>

// The folder shared with the host application, the names inside it, and the identifiers of the
// contract. Locations are worked out from "HOME" on every call, without touching the disk, and
// are absent when the environment has no "HOME".
namespace tovin::SharedContainer {

inline constexpr std::string_view appGroupIdentifier = "group.com.brindlex.tovin";
inline constexpr std::string_view extensionBundleIdentifier = "com.brindlex.tovin.share";
inline constexpr std::string_view didEnqueueNotification = "com.brindlex.tovin.share.enqueue";

// The enqueue notification as a signal on the session bus, with no arguments: its interface and
// member spell `didEnqueueNotification`, on an object path spelled after the interface. Arrays,
// so that libdbus and Qt take them as they are.
inline constexpr char enqueueSignalPath[] = "/com/brindlex/tovin/share";
inline constexpr char enqueueSignalInterface[] = "com.brindlex.tovin.share";
inline constexpr char enqueueSignalMember[] = "enqueue";

// The URL that the share sheet opens after each share it queued, for the host application.
inline constexpr char hostURL[] = "tovin://share";

// HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents
std::optional<std::filesystem::path> root(const Environment& environment);

// The root's "chats.json".
std::optional<std::filesystem::path> chatSnapshotURL(const Environment& environment);

// The root's "outbox" folder.
std::optional<std::filesystem::path> outboxDirectory(const Environment& environment);

// The root, after asking `fileManager` to create it; a failure to create it is not reported.
std::optional<std::filesystem::path> ensureRoot(const Environment& environment,
                                                FileManager& fileManager);

// The outbox folder, after asking `fileManager` to create it with the root; a failure to create
// it is not reported (the first write into it fails instead).
std::optional<std::filesystem::path> ensureOutbox(const Environment& environment,
                                                  FileManager& fileManager);

} // namespace tovin::SharedContainer
