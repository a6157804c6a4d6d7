#include "shared/PosixFileManager.h"

#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

template <typename Operation> std::error_code errorOf(Operation&& operation) {
    try {
        operation();
    } catch (const fs::filesystem_error& error) {
        return error.code();
    }
    return {};
}

class PosixFileManagerTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    PosixFileManager disk;
};

TEST_F(PosixFileManagerTest, CopiesFilesWholeAndFoldersWithEverythingInThem) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 random(7);
    for (char& c : big)
        c = static_cast<char>(random());
    writeText(folder / "big.bin", big);
    fs::create_directories(folder / "tree" / "sub");
    writeText(folder / "tree" / ".hidden", "h");
    writeText(folder / "tree" / "sub" / "leaf", "l");
    fs::create_symlink("sub/leaf", folder / "tree" / "link");
    fs::create_symlink(folder / "big.bin", folder / "alias");

    disk.copyItem(folder / "big.bin", folder / "big copy.bin");
    disk.copyItem(folder / "tree", folder / "tree copy");
    disk.copyItem(folder / "alias", folder / "alias copy");

    EXPECT_EQ(contents(folder / "big copy.bin"), big);
    EXPECT_EQ(contents(folder / "tree copy" / ".hidden"), "h");
    EXPECT_EQ(contents(folder / "tree copy" / "sub" / "leaf"), "l");
    EXPECT_EQ(fs::read_symlink(folder / "tree copy" / "link"), "sub/leaf");
    EXPECT_FALSE(fs::is_symlink(folder / "alias copy"));
    EXPECT_EQ(contents(folder / "alias copy"), big);
}

TEST_F(PosixFileManagerTest, CopyNeverReplacesAndNamesTheFault) {
    writeText(folder / "a", "new");
    writeText(folder / "b", "old");
    fs::create_directories(folder / "d");
    fs::create_directories(folder / "e");
    writeText(folder / "e" / "keep", "k");

    EXPECT_EQ(errorOf([&] { disk.copyItem(folder / "a", folder / "b"); }), std::errc::file_exists);
    EXPECT_EQ(errorOf([&] { disk.copyItem(folder / "d", folder / "e"); }), std::errc::file_exists);
    EXPECT_EQ(contents(folder / "b"), "old");
    EXPECT_EQ(contents(folder / "e" / "keep"), "k");
    EXPECT_EQ(errorOf([&] { disk.copyItem(folder / "missing", folder / "c"); }),
              std::errc::no_such_file_or_directory);
    EXPECT_FALSE(fs::exists(folder / "c"));
}

TEST_F(PosixFileManagerTest, NeverWaitsOnAFIFO) {
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    fs::create_directories(folder / "holder");
    ASSERT_EQ(::mkfifo((folder / "holder" / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(errorOf([&] { disk.copyItem(folder / "pipe", folder / "copy"); }),
              std::errc::not_supported);
    EXPECT_EQ(errorOf([&] { disk.copyItem(folder / "holder", folder / "holder copy"); }),
              std::errc::not_supported);
    EXPECT_EQ(errorOf([&] { disk.readFile(folder / "pipe"); }), std::errc::not_supported);
    EXPECT_EQ(errorOf([&] { disk.readFile(folder.path()); }), std::errc::is_a_directory);
}

TEST_F(PosixFileManagerTest, ListsVisibleChildrenAndTestsFolders) {
    fs::create_directories(folder / "entry");
    fs::create_directories(folder / ".hidden");
    writeText(folder / "file", "");
    fs::create_directory_symlink(folder / "entry", folder / "link");

    EXPECT_THAT(disk.contentsOfDirectory(folder.path()),
                UnorderedElementsAre(folder / "entry", folder / "file", folder / "link"));
    EXPECT_TRUE(disk.isDirectory(folder / "entry"));
    EXPECT_TRUE(disk.isDirectory(folder / "link"));
    EXPECT_FALSE(disk.isDirectory(folder / "file"));
    EXPECT_FALSE(disk.isDirectory(folder / "missing"));
    EXPECT_EQ(errorOf([&] { disk.contentsOfDirectory(folder / "missing"); }),
              std::errc::no_such_file_or_directory);
}

TEST_F(PosixFileManagerTest, RemovesTreesAndReportsWhatIsNotThere) {
    fs::create_directories(folder / "entry" / "attachments");
    writeText(folder / "entry" / "attachments" / "a", "a");
    disk.removeItem(folder / "entry");
    EXPECT_FALSE(fs::exists(folder / "entry"));
    EXPECT_EQ(errorOf([&] { disk.removeItem(folder / "entry"); }),
              std::errc::no_such_file_or_directory);
}

TEST_F(PosixFileManagerTest, WritesPlainlyOrAtomically) {
    disk.writeFile(folder / "plain", "one", WriteMode::plain);
    disk.writeFile(folder / "plain", "two", WriteMode::plain);
    disk.writeFile(folder / "atomic", "first, longer", WriteMode::atomic);
    disk.writeFile(folder / "atomic", "second", WriteMode::atomic);

    EXPECT_EQ(disk.readFile(folder / "plain"), "two");
    EXPECT_EQ(disk.readFile(folder / "atomic"), "second");
    EXPECT_THAT(disk.contentsOfDirectory(folder.path()),
                UnorderedElementsAre(folder / "plain", folder / "atomic"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 2);
    EXPECT_EQ(errorOf([&] { disk.writeFile(folder / "no" / "such", "x", WriteMode::atomic); }),
              std::errc::no_such_file_or_directory);
    EXPECT_EQ(errorOf([&] { disk.synchronize(folder / "missing"); }),
              std::errc::no_such_file_or_directory);
}

TEST_F(PosixFileManagerTest, PrivateFilesAreNewAndTheOwnersAlone) {
    {
        const FileDescriptor fd = disk.createPrivateFile(folder / "secret");
        ASSERT_TRUE(fd);
        struct stat status {};
        ASSERT_EQ(::fstat(fd.get(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
    }
    writeText(folder / "target", "untouched");
    fs::create_symlink(folder / "target", folder / "planted");

    EXPECT_EQ(errorOf([&] { disk.createPrivateFile(folder / "secret"); }), std::errc::file_exists);
    EXPECT_EQ(errorOf([&] { disk.createPrivateFile(folder / "planted"); }), std::errc::file_exists);
    EXPECT_EQ(contents(folder / "target"), "untouched");
}

TEST(PosixFileManager, TemporaryFolderComesFromTheEnvironment) {
    auto environment = std::make_shared<testing::FakeEnvironment>();
    PosixFileManager disk(environment);
    EXPECT_EQ(disk.temporaryDirectory(), "/tmp");
    environment->variables["TMPDIR"] = "/var/tmp/mine";
    EXPECT_EQ(disk.temporaryDirectory(), "/var/tmp/mine");
}

} // namespace
} // namespace tovin
