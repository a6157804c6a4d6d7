#include "TestSupport.h"
#include "intake/IntakeError.h"
#include "intake/TemporaryImageFile.h"

#include <QColor>
#include <QColorSpace>
#include <QImage>
#include <QTimer>
#include <cstddef>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Loaders = IntakeTest;

TEST_F(Loaders, AcceptTheirFormsAndFailWithTheProvidersErrorOrTheirOwnCode) {
    const QUrl web("https://example.com/a?b=c#d");
    const QUrl file("file:///nowhere/picture.png");
    const auto reset = std::make_error_code(std::errc::connection_reset);
    const std::tuple<Loader, LoadedItem, Settled> rows[] = {
        {fileURL, {web}, web},
        {fileURL, {QByteArray("file:///tmp/a%20b.pdf")}, QUrl("file:///tmp/a%20b.pdf")},
        {fileURL, {QByteArray("file:///tmp/a b")}, IntakeError::noFileURL},
        // A URL is handed on as it is, never opened.
        {image, {file}, file},
        {image, {QImage()}, IntakeError::noImage},
        {image, {QImage(4, 4, QImage::Format_RGB32), reset}, reset},
        // A link object is written out fully encoded; a link given as text stays as it was given.
        {url, {QUrl("https://ex.com/a b")}, QString("https://ex.com/a%20b")},
        {url, {QString("HTTP://Ex.COM/%41?b")}, QString("HTTP://Ex.COM/%41?b")},
        {url, {QString("http://0x7f.1/")}, QString("http://0x7f.1/")},
        {url, {QString("http://u@[::1]:8080/")}, QString("http://u@[::1]:8080/")},
        {url, {QString("https://ex.com/a[b]")}, IntakeError::noURL},
        {url, {QString("https://[::1]/[")}, IntakeError::noURL},
        {url, {QString()}, IntakeError::noURL},
        {url, {QString("https://exa mple.com")}, IntakeError::noURL},
        {url, {QString("https://ex.com/#a#b")}, IntakeError::noURL},
        {text, {QString(" text ")}, QString(" text ")},
        {text, {QString("")}, QString("")},
        {text, {QByteArray("h\xc3\xa9llo")}, QString("héllo")},
        {text, {QByteArray("\xc3\x28")}, IntakeError::noText},
    };
    for (const auto& row : rows) {
        const auto& [loader, delivered, expected] = row;
        EXPECT_EQ(load(loader, {{delivered}}), expected) << "row " << &row - rows;
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(Loaders, TolerateLateRepeatedDroppedAndThrownCompletions) {
    // A slow provider must leave the event loop turning.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5ms);
    EXPECT_EQ(load(text, {{LoadedItem{QString("late")}}, 200ms}), Settled(QString("late")));
    EXPECT_GE(ticks, 5);
    const Answer twice{{LoadedItem{QString("first")}, LoadedItem{QString("second")}}, 30ms};
    EXPECT_EQ(load(text, twice), Settled(QString("first")));
    // Were the second call delivered, it would wake the finished loader here.
    QCoreApplication::processEvents();

    const std::pair<Loader, int> dropped[] = {{fileURL, 1}, {image, 2}, {url, 3}, {text, 4}};
    for (const auto& [loader, code] : dropped)
        EXPECT_EQ(load(loader, {}), Settled(std::error_code(code, intakeCategory())));

    // A load that cannot start fails with what it threw, whatever then becomes of the completion.
    const auto cannotStart = std::make_error_code(std::errc::resource_unavailable_try_again);
    const auto thrown = std::make_exception_ptr(std::system_error(cannotStart));
    for (const Answer& answer :
         {Answer{{}, 0ms, thrown}, Answer{{LoadedItem{QString("late")}}, 30ms, thrown}}) {
        EXPECT_EQ(load(text, answer), Settled(cannotStart));
        QCoreApplication::processEvents();
    }
}

fs::path path(const QUrl& file) {
    return file.toLocalFile().toStdString();
}

// Partly transparent, so that a lossy or opaque encoding shows.
QImage testImage() {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 200, 30, 40));
    image.setPixel(1, 0, qRgba(250, 0, 128, 255));
    return image;
}

TEST_F(Loaders, WriteAnImageAsAPNGAndBytesUnchangedEachToANewFileOfTheOwnersAlone) {
    // Larger than the write buffer, so that it is drained more than once.
    const QByteArray bytes = QByteArray("\x89PNG\r\n\x1a\n\0", 9).repeated(25000);
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

// Rows of gradients and noise, opaque, in `format`.
QImage noisyImage(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_ARGB32);
    std::uint32_t noise = 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525 + 1013904223;
            image.setPixel(x, y,
                           qRgb((x + (noise >> 28)) & 255, y & 255, (x ^ y ^ noise >> 29) & 255));
        }
    }
    return image.convertToFormat(format);
}

TEST_F(Loaders, WriteImagesLosslesslyWithTheirColourSpaceAndOpaqueOnesWithoutAlpha) {
    QImage lastTranslucent = noisyImage(700, 1600, QImage::Format_ARGB32);
    lastTranslucent.setPixel(699, 1599, qRgba(1, 2, 3, 4));
    QImage premultiplied(256, 256, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            premultiplied.setPixel(x, y, qPremultiply(qRgba(x, 255 - x, (x * y) & 255, y)));
    QImage wide = noisyImage(300'000, 2, QImage::Format_RGB32);
    wide.setColorSpace(QColorSpace::DisplayP3);
    wide.setDotsPerMeterX(5000);
    wide.setDotsPerMeterY(2000);
    QImage grey(3, 2, QImage::Format_Grayscale16);
    for (int i = 0; i < 6; ++i) {
        const auto level = static_cast<quint16>(9999 * i + 1);
        grey.setPixelColor(i % 3, i / 3, QColor::fromRgba64(level, level, level));
    }
    const struct {
        const char* name;
        QImage image;
        char colourType;
    } rows[] = {
        {"opaque, in several bands", noisyImage(700, 1600, QImage::Format_ARGB32), 2},
        {"translucent in its last pixel alone", lastTranslucent, 6},
        {"premultiplied", premultiplied, 6},
        {"one row wider than a band, in Display P3", wide, 2},
        {"one pixel wide", noisyImage(1, 3000, QImage::Format_RGB32), 2},
        {"16 bits of grey, which Qt's writer keeps", grey, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<QUrl> written = writeTemporaryImageFile(row.image, *files, *uuids);
        EXPECT_TRUE(written);
        if (!written)
            continue;
        const QByteArray bytes = QByteArray::fromStdString(files->readFile(path(*written)));
        EXPECT_EQ(bytes.at(25), row.colourType);
        const QImage decoded = QImage::fromData(bytes, "PNG");
        const auto format = row.image.format() == QImage::Format_Grayscale16
                                ? QImage::Format_RGBA64
                                : QImage::Format_ARGB32;
        EXPECT_EQ(decoded.convertToFormat(format), row.image.convertToFormat(format));
        EXPECT_EQ(decoded.convertToFormat(row.image.format()), row.image);
        EXPECT_EQ(decoded.colorSpace(), row.image.colorSpace());
        EXPECT_EQ(decoded.dotsPerMeterX(), row.image.dotsPerMeterX());
        EXPECT_EQ(decoded.dotsPerMeterY(), row.image.dotsPerMeterY());
    }
}

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

TEST_F(Loaders, FailAnImageFilesWriteOrCloseWithTheFileSystemsError) {
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
