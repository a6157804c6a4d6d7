#include "shared/SharedContainer.h"

#include "shared/PosixFileManager.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using testing::FakeEnvironment;
using testing::TemporaryFolder;

const fs::path containerPath = "Library/Containers/com.brindlex.tovin.share/Data/Documents";

TEST(SharedContainer, LocationsFollowHome) {
    FakeEnvironment environment;
    environment.variables["HOME"] = "/home/ada";
    EXPECT_EQ(SharedContainer::root(environment), "/home/ada" / containerPath);
    EXPECT_EQ(SharedContainer::chatSnapshotURL(environment),
              "/home/ada" / containerPath / "chats.json");
    EXPECT_EQ(SharedContainer::outboxDirectory(environment),
              "/home/ada" / containerPath / "outbox");

    environment.variables["HOME"] = "/home/ada/";
    EXPECT_EQ(SharedContainer::root(environment)->native(),
              "/home/ada/Library/Containers/com.brindlex.tovin.share/Data/Documents");

    environment.variables["HOME"] = "/srv/other";
    EXPECT_EQ(SharedContainer::root(environment), "/srv/other" / containerPath);

    environment.variables["HOME"] = "";
    EXPECT_EQ(SharedContainer::root(environment), containerPath);
}

TEST(SharedContainer, NoHomeMeansNoLocationAndNothingCreated) {
    FakeEnvironment environment;
    environment.variables["TMPDIR"] = "/tmp";
    PosixFileManager fileManager;
    EXPECT_EQ(SharedContainer::root(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::chatSnapshotURL(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::outboxDirectory(environment), std::nullopt);
    EXPECT_EQ(SharedContainer::ensureRoot(environment, fileManager), std::nullopt);
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, fileManager), std::nullopt);
}

TEST(SharedContainer, EnsureOutboxCreatesTheFolderAndHidesFailures) {
    TemporaryFolder home;
    FakeEnvironment environment;
    environment.variables["HOME"] = home.path();
    PosixFileManager fileManager;

    const auto outbox = SharedContainer::ensureOutbox(environment, fileManager);
    ASSERT_TRUE(outbox);
    EXPECT_TRUE(fs::is_directory(*outbox));
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, fileManager), outbox);

    fs::remove(*outbox);
    std::ofstream(*outbox) << "in the way";
    EXPECT_EQ(SharedContainer::ensureOutbox(environment, fileManager), outbox);
    EXPECT_TRUE(fs::is_regular_file(*outbox));
}

} // namespace
} // namespace tovin
