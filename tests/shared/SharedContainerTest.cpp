#include "shared/SharedContainer.h"

#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;

TEST(SharedContainer, LocationsFollowHomeOnEveryCall) {
    const fs::path container = "Library/Containers/com.brindlex.tovin.share/Data/Documents";
    testing::FakeEnvironment environment;
    PosixFileManager disk;
    EXPECT_EQ(SharedContainer::root(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::chatSnapshotURL(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, disk), std::nullopt);

    for (const auto& [home, root] :
         {std::pair<std::string, fs::path>{"/home/ada", "/home/ada" / container},
          {"/home/ada/", "/home/ada" / container},
          {"", container}}) {
        environment.variables["HOME"] = home;
        EXPECT_EQ(SharedContainer::root(environment)->native(), root.native()) << home;
        EXPECT_EQ(SharedContainer::chatSnapshotURL(environment), root / "chats.json");
        EXPECT_EQ(SharedContainer::outboxDirectory(environment), root / "outbox");
    }
}

TEST(SharedContainer, EnsureOutboxCreatesTheFolderAndHidesFailures) {
    testing::TemporaryFolder home;
    testing::FakeEnvironment environment;
    environment.variables["HOME"] = home.path();
    PosixFileManager disk;

    const auto outbox = SharedContainer::ensureOutbox(environment, disk);
    ASSERT_TRUE(outbox && fs::is_directory(*outbox));
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, disk), outbox);

    fs::remove(*outbox);
    std::ofstream(*outbox) << "in the way";
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, disk), outbox);
}

} // namespace
} // namespace tovin
