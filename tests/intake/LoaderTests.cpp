#include "TestSupport.h"
#include "intake/IntakeError.h"

#include <QImage>
#include <QTimer>

namespace tovin::test {
namespace {

using namespace std::chrono_literals;

using Loaders = IntakeTest;

TEST_F(Loaders, AcceptTheirFormsAndFailWithTheProvidersErrorOrTheirOwnCode) {
    const QUrl web("https://example.com/a?b=c#d");
    const QUrl file("file:///nowhere/picture.png");
    const auto reset = std::make_error_code(std::errc::connection_reset);
    const std::tuple<Loader, LoadedItem, Settled> rows[] = {
        {fileURL, {file}, file},
        {fileURL, {web}, web},
        {fileURL, {QByteArray("file:///tmp/a%20b.pdf")}, QUrl("file:///tmp/a%20b.pdf")},
        {fileURL, {QByteArray("file:///tmp/a b")}, IntakeError::noFileURL},
        {fileURL, {}, IntakeError::noFileURL},
        {fileURL, {file, reset}, reset},
        // A URL is handed on as it is, never opened.
        {image, {file}, file},
        {image, {QImage()}, IntakeError::noImage},
        {image, {OtherObject{}}, IntakeError::noImage},
        {image, {QImage(4, 4, QImage::Format_RGB32), reset}, reset},
        // A link object is written out fully encoded; a link given as text stays as it was given.
        {url, {web}, QString("https://example.com/a?b=c#d")},
        {url, {QUrl("https://ex.com/a b")}, QString("https://ex.com/a%20b")},
        {url, {QString("HTTP://Ex.COM/%41?b")}, QString("HTTP://Ex.COM/%41?b")},
        {url, {QString("http://0x7f.1/")}, QString("http://0x7f.1/")},
        {url, {QString("http://u@[::1]:8080/")}, QString("http://u@[::1]:8080/")},
        {url, {QString("https://ex.com/a[b]")}, IntakeError::noURL},
        {url, {QString("https://[::1]/[")}, IntakeError::noURL},
        {url, {QString()}, IntakeError::noURL},
        {url, {QString("https://exa mple.com")}, IntakeError::noURL},
        {url, {QString("https://ex.com/ü")}, IntakeError::noURL},
        {url, {QString("https://ex.com/#a#b")}, IntakeError::noURL},
        {url, {QByteArray("https://example.com")}, IntakeError::noURL},
        {text, {QString(" text ")}, QString(" text ")},
        {text, {QString("")}, QString("")},
        {text, {QByteArray("h\xc3\xa9llo")}, QString("héllo")},
        {text, {QByteArray("\xc3\x28")}, IntakeError::noText},
        {text, {web}, IntakeError::noText},
    };
    for (const auto& row : rows) {
        const auto& [loader, delivered, expected] = row;
        EXPECT_EQ(load(loader, {{delivered}}), expected) << "row " << &row - rows;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
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
    EXPECT_STREQ(intakeCategory().name(), "tovin.share");
}

} // namespace
} // namespace tovin::test
