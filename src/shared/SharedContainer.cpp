#include "shared/SharedContainer.h"

namespace tovin::SharedContainer {

namespace fs = std::filesystem;

namespace {

// A host that listens for the notification's name hears the signal's interface and member.
constexpr bool signalSpellsTheNotificationName() {
    const std::string_view name = didEnqueueNotification;
    const std::string_view interface = enqueueSignalInterface;
    const std::string_view member = enqueueSignalMember;
    return name.size() == interface.size() + 1 + member.size() && name.starts_with(interface) &&
           name[interface.size()] == '.' && name.ends_with(member);
}
static_assert(signalSpellsTheNotificationName());

} // namespace

std::optional<fs::path> root(const Environment& environment) {
    const std::optional<std::string> home = environment.variable("HOME");
    if (!home)
        return std::nullopt;
    return fs::path(*home) / "Library" / "Containers" / extensionBundleIdentifier / "Data" /
           "Documents";
}

std::optional<fs::path> chatSnapshotURL(const Environment& environment) {
    std::optional<fs::path> location = root(environment);
    if (location)
        *location /= "chats.json";
    return location;
}

std::optional<fs::path> outboxDirectory(const Environment& environment) {
    std::optional<fs::path> location = root(environment);
    if (location)
        *location /= "outbox";
    return location;
}

namespace {

std::optional<fs::path> ensure(std::optional<fs::path> folder, FileManager& fileManager) {
    if (folder) {
        try {
            fileManager.createDirectory(*folder);
        } catch (const std::exception&) {
            // The first write into the folder reports the problem.
        }
    }
    return folder;
}

} // namespace

std::optional<fs::path> ensureRoot(const Environment& environment, FileManager& fileManager) {
    return ensure(root(environment), fileManager);
}

std::optional<fs::path> ensureOutbox(const Environment& environment, FileManager& fileManager) {
    return ensure(outboxDirectory(environment), fileManager);
}

} // namespace tovin::SharedContainer
