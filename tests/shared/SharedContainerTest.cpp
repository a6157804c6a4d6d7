#include "shared/SharedContainer.h"

#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;

TEST(SharedContainer, FollowsHomeOnEveryCallAndHidesFailuresToCreateTheOutbox) {
    testing::FakeEnvironment environment;
    PosixFileManager disk;
    EXPECT_EQ(SharedContainer::chatSnapshotURL(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, disk), std::nullopt);

    testing::TemporaryFolder home;
    environment.variables["HOME"] = home.path() / "";
    const fs::path root = home / "Library/Containers/com.brindlex.tovin.share/Data/Documents";
    EXPECT_EQ(SharedContainer::chatSnapshotURL(environment), root / "chats.json");
    const auto outbox = SharedContainer::ensureOutbox(environment, disk);
    EXPECT_EQ(outbox, root / "outbox");
    EXPECT_TRUE(fs::is_directory(root / "outbox"));

    fs::remove(*outbox);
    std::ofstream(*outbox) << "in the way";
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, disk), outbox);
}

} // namespace
} // namespace tovin
