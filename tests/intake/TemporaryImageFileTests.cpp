#include "TestSupport.h"

#include <QImage>
#include <cstddef>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;
using TemporaryImageFile = IntakeTest;

fs::path path(const QUrl& file) {
    return file.toLocalFile().toStdString();
}

// Every pixel differs from its neighbours, some are partly transparent.
QImage testImage() {
    QImage image(67, 41, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 3, y * 5, (x * y) % 256, 255 - (x + y) % 200));
    return image;
}

TEST_F(TemporaryImageFile, AnImageBecomesAPNGAndBytesAFileOfTheirOwnBothPrivate) {
    // Larger than the write buffer, so that it is drained more than once.
    QByteArray bytes(200000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7919 % 256);
    EXPECT_EQ(load(image, {{LoadedItem{testImage()}}}), Settled(imageFile(1, ".png")));
    EXPECT_EQ(load(image, {{LoadedItem{bytes}}}), Settled(imageFile(2, "")));

    const QImage decoded(imageFile(1, ".png").toLocalFile(), "PNG");
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_ARGB32), testImage());
    EXPECT_EQ(files->readFile(path(imageFile(2, ""))), bytes.toStdString());
    for (const auto& file : {imageFile(1, ".png"), imageFile(2, "")})
        EXPECT_EQ(fs::symlink_status(path(file)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);

    // A relative temporary folder is taken from the current folder: the file's URL is absolute.
    environment->variables["TMPDIR"] = fs::relative(folder.path());
    const auto relative = std::get<QUrl>(load(image, {{LoadedItem{bytes}}}));
    EXPECT_TRUE(path(relative).is_absolute());
    EXPECT_TRUE(fs::equivalent(path(relative), path(imageFile(3, ""))));
}

TEST_F(TemporaryImageFile, AnExistingNameOrLinkIsNeverFollowedOrOverwritten) {
    const auto target = folder / "target";
    files->writeFile(target, "keep", WriteMode::plain);
    for (const auto& [item, extension] : {std::pair{LoadedItem::Item(testImage()), ".png"},
                                          std::pair{LoadedItem::Item(QByteArray("bytes")), ""}}) {
        for (const bool link : {false, true}) {
            const auto planted = path(imageFile(uuids->count + 1, extension));
            link ? fs::create_symlink(target, planted)
                 : files->writeFile(planted, "mine", WriteMode::plain);
            EXPECT_EQ(load(image, {{LoadedItem{item}}}),
                      Settled(std::make_error_code(std::errc::file_exists)));
            EXPECT_EQ(files->readFile(planted), link ? "keep" : "mine");
            EXPECT_EQ(fs::is_symlink(planted), link);
        }
    }
    EXPECT_EQ(files->readFile(target), "keep");
}

// Hands out a file that cannot take a single byte.
class FullDisk final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    FileDescriptor createPrivateFile(const fs::path&) override {
        return FileDescriptor(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    }
};

// Hands out a file whose close reports a lost write, as a network file system may: from then on
// the thread cannot close its descriptor.
class LostOnClose final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    FileDescriptor createPrivateFile(const fs::path& file) override {
        FileDescriptor created = FileManagerWrapper::createPrivateFile(file);
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_close, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(created.get()), 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program{std::size(filter), filter};
        EXPECT_EQ(::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), 0);
        EXPECT_EQ(::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program), 0);
        return created;
    }
};

TEST_F(TemporaryImageFile, AFailedWriteGivesTheFileSystemsError) {
    for (const auto& item : {LoadedItem::Item(testImage()), LoadedItem::Item(QByteArray(1, 'x'))}) {
        environment->variables["TMPDIR"] = folder.path();
        fileManager = std::make_shared<FullDisk>(files);
        EXPECT_EQ(load(image, {{LoadedItem{item}}}),
                  Settled(std::make_error_code(std::errc::no_space_on_device)));
        fileManager = std::make_shared<LostOnClose>(files);
        EXPECT_EQ(load(image, {{LoadedItem{item}}}),
                  Settled(std::make_error_code(std::errc::io_error)));
        fileManager = files;
        environment->variables["TMPDIR"] = folder / "gone";
        EXPECT_EQ(load(image, {{LoadedItem{item}}}),
                  Settled(std::make_error_code(std::errc::no_such_file_or_directory)));
    }
}

} // namespace
} // namespace tovin::test
