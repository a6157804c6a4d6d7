#include "TestSupport.h"
#include "intake/IntakeError.h"
#include "intake/Loaders.h"
#include "intake/TemporaryImageFile.h"
#include "shared/FileManagerWrapper.h"
#include "shared/PosixFileManager.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace tovin {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An image whose every pixel differs from its neighbours, with partial transparency.
QImage testImage() {
    QImage image(67, 41, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 3, y * 5, (x * y) % 256, 255 - (x + y) % 200));
    return image;
}

class TemporaryImageFile : public testing::Test {
protected:
    fs::path write(const LoadedItem::Item& item) {
        const auto url = writeTemporaryImageFile(item, *folder.fileManager, uuids);
        EXPECT_TRUE(url && url->isLocalFile());
        return url ? fs::path(url->toLocalFile().toStdString()) : fs::path();
    }

    static void expectPrivateFileIn(const fs::path& file, const fs::path& folder,
                                    const char* pattern) {
        EXPECT_EQ(file.parent_path(), folder);
        EXPECT_TRUE(
            QRegularExpression(pattern).match(QString::fromStdString(file.filename())).hasMatch())
            << file;
        struct stat status {};
        ASSERT_EQ(::lstat(file.c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0600u);
    }

    test::TemporaryFolder folder;
    RandomUUIDSource uuids;
};

constexpr auto pngName = "^tovin-share-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.png$";
constexpr auto bytesName = "^tovin-share-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$";

TEST_F(TemporaryImageFile, AnImageBecomesAPrivatePNGThatDecodesToTheSamePixels) {
    const QImage image = testImage();
    const auto first = write(image);
    const auto second = write(image);
    EXPECT_NE(first, second);
    for (const auto& file : {first, second}) {
        expectPrivateFileIn(file, folder.path, pngName);
        const QImage decoded(QString::fromStdString(file), "PNG");
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_ARGB32), image);
    }
}

TEST_F(TemporaryImageFile, BytesAreWrittenUnchangedWithoutExtension) {
    QByteArray jpeg("\xff\xd8\xff\xe0", 4);
    for (int i = 0; i < 200000; ++i)
        jpeg.append(static_cast<char>(i * 7919 % 256));
    const auto file = write(jpeg);
    expectPrivateFileIn(file, folder.path, bytesName);
    EXPECT_EQ(contents(file), jpeg.toStdString());
}

TEST_F(TemporaryImageFile, NothingFitsAndNoFileIsLeft) {
    for (const LoadedItem::Item& item :
         {LoadedItem::Item(QImage()), LoadedItem::Item(QString("x")), LoadedItem::Item()})
        EXPECT_EQ(writeTemporaryImageFile(item, *folder.fileManager, uuids), std::nullopt);
    EXPECT_TRUE(folder.files().empty());
}

TEST_F(TemporaryImageFile, AnExistingNameOrLinkIsNeverFollowedOrOverwritten) {
    test::FixedUUIDSource fixed;
    const auto target = folder.path / "target";
    std::ofstream(target) << "keep";
    for (const auto& [item, name] : {std::pair{LoadedItem::Item(testImage()), ".png"},
                                     std::pair{LoadedItem::Item(QByteArray("bytes")), ""}}) {
        const auto planted = folder.path / ("tovin-share-" + fixed.newUUID() + name);
        for (const bool link : {false, true}) {
            fs::remove(planted);
            if (link)
                fs::create_symlink(target, planted);
            else
                std::ofstream(planted) << "mine";
            try {
                writeTemporaryImageFile(item, *folder.fileManager, fixed);
                ADD_FAILURE() << "wrote over " << planted;
            } catch (const fs::filesystem_error& error) {
                EXPECT_EQ(error.code(), std::errc::file_exists);
            }
            EXPECT_EQ(contents(planted), link ? "keep" : "mine");
            EXPECT_EQ(fs::is_symlink(planted), link);
        }
        EXPECT_EQ(contents(target), "keep");
    }
}

// Hands out a file that cannot take a single byte.
class FullDisk final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    FileDescriptor createPrivateFile(const fs::path&) override {
        return FileDescriptor(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    }
};

TEST_F(TemporaryImageFile, TheImageLoaderFailsWithTheFileSystemsError) {
    const auto uuids = std::make_shared<RandomUUIDSource>();
    const auto missing = std::make_shared<PosixFileManager>(std::make_shared<test::FakeEnvironment>(
        std::map<std::string, std::string>{{"TMPDIR", (folder.path / "gone").string()}}));
    const auto full = std::make_shared<FullDisk>(folder.fileManager);
    const std::pair<std::shared_ptr<FileManager>, std::errc> cases[] = {
        {missing, std::errc::no_such_file_or_directory},
        {full, std::errc::no_space_on_device},
    };
    for (const auto& [fileManager, error] : cases) {
        for (const LoadedItem::Item& item :
             {LoadedItem::Item(testImage()), LoadedItem::Item(QByteArray(100000, 'x'))}) {
            const test::FakeProvider provider({}, {{"public.image", test::deliver(item)}});
            const auto settled = test::settle(loadImageData(provider, fileManager, uuids));
            EXPECT_EQ(settled, test::Settled(std::make_error_code(error)));
        }
    }
}

} // namespace
} // namespace tovin
