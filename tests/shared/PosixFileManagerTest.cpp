#include "shared/PosixFileManager.h"

#include "support/TemporaryFolder.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::error_code errorOf(const std::function<void()>& operation) {
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
    // Over one piece of progress, so that a copy must report more than once.
    std::string big(67 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 7919) >> 3);
    writeText(folder / "big.bin", big);
    fs::create_directories(folder / "tree" / "sub");
    writeText(folder / "tree" / ".hidden", "h");
    writeText(folder / "tree" / "sub" / "leaf", "l");
    fs::create_symlink("sub/leaf", folder / "tree" / "link");
    fs::create_symlink(folder / "big.bin", folder / "alias");

    std::vector<std::uintmax_t> pieces;
    const auto progress = [&](std::uintmax_t bytes) { pieces.push_back(bytes); };
    disk.copyItem(folder / "tree", folder / "tree copy", progress);
    EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::uintmax_t{0}), 2u);
    EXPECT_EQ(disk.contentSize(folder / "tree", folder / "tree copy"), 2u)
        << "a link to a file inside stays a link";
    pieces.clear();
    disk.copyItem(folder / "alias", folder / "alias copy", progress);
    EXPECT_EQ(disk.contentSize(folder / "alias", folder / "alias copy"), big.size());
    EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::uintmax_t{0}), big.size());
    EXPECT_GE(pieces.size(), 2u);
    EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 64u << 20);

    // Holes stay holes, at the end too, as they are made by a download or a disk image.
    {
        std::ofstream sparse(folder / "sparse.img", std::ios::binary);
        sparse << "start";
        sparse.seekp(8 << 20) << "middle";
    }
    fs::resize_file(folder / "sparse.img", 16 << 20);
    // Within one file system the kernel copies; from one to another (to memory) we do.
    const testing::TemporaryFolder inMemory("/dev/shm");
    for (const fs::path& copy : {folder / "sparse copy.img", inMemory / "sparse copy.img"}) {
        disk.copyItem(folder / "sparse.img", copy, {});
        struct stat status {};
        EXPECT_EQ(::stat(copy.c_str(), &status), 0);
        EXPECT_LT(status.st_blocks * 512, 1 << 20) << copy;
        EXPECT_EQ(disk.readFile(copy), disk.readFile(folder / "sparse.img")) << copy;
    }

    // Files under /proc report size 0 and have content, as some on FUSE do.
    disk.copyItem("/proc/version", folder / "version", {});
    EXPECT_NE(disk.readFile(folder / "version"), "");
    EXPECT_EQ(disk.readFile(folder / "version"), disk.readFile("/proc/version"));

    EXPECT_EQ(disk.readFile(folder / "tree copy" / ".hidden"), "h");
    EXPECT_EQ(disk.readFile(folder / "tree copy" / "sub" / "leaf"), "l");
    EXPECT_EQ(fs::read_symlink(folder / "tree copy" / "link"), "sub/leaf");
    EXPECT_FALSE(fs::is_symlink(folder / "alias copy"));
    EXPECT_EQ(disk.readFile(folder / "alias copy"), big);
}

TEST_F(PosixFileManagerTest, CopyNeitherReplacesNorWaits) {
    writeText(folder / "a", "new");
    writeText(folder / "b", "old");
    fs::create_directories(folder / "d" / "inner");
    ASSERT_EQ(::mkfifo((folder / "d" / "inner" / "pipe").c_str(), 0600), 0);

    const std::tuple<const char*, const char*, std::errc> cases[] = {
        {"a", "b", std::errc::file_exists},
        {"d", "a", std::errc::file_exists},
        {"missing", "c", std::errc::no_such_file_or_directory},
        {"d", "c", std::errc::not_supported},
        {"d", "d/inner/copy", std::errc::invalid_argument},
    };
    for (const auto& [source, destination, error] : cases)
        EXPECT_EQ(errorOf([&] { disk.copyItem(folder / source, folder / destination, {}); }), error)
            << source;
    EXPECT_EQ(disk.readFile(folder / "b"), "old");
    EXPECT_EQ(errorOf([&] { disk.readFile(folder.path()); }), std::errc::is_a_directory);
    EXPECT_EQ(disk.readFile(folder / "b", 3), "old");
    EXPECT_EQ(errorOf([&] { disk.readFile(folder / "b", 2); }), std::errc::file_too_large);
    ASSERT_EQ(::truncate((folder / "b").c_str(), off_t{2} << 30), 0) << "a sparse 2 GiB file";
    EXPECT_EQ(errorOf([&] { disk.readFile(folder / "b", 16 << 20); }), std::errc::file_too_large);
}

} // namespace
} // namespace tovin
