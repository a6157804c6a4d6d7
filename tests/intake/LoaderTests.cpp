#include "TestSupport.h"
#include "intake/IntakeError.h"
#include "intake/Loaders.h"
#include "intake/TypeRegistry.h"
#include "intake/ValueItemProvider.h"
#include "shared/UUIDSource.h"

#include <QEventLoop>
#include <QImage>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <future>
#include <thread>

namespace tovin {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::deliver;
using test::FakeProvider;
using test::settle;
using test::Settled;
namespace Type = TypeIdentifier;

enum class Loader { fileURL, image, url, text };

const std::error_code providerError = std::make_error_code(std::errc::connection_reset);

class Loaders : public testing::Test {
protected:
    Settled load(Loader loader, const ItemProvider& provider) {
        switch (loader) {
        case Loader::fileURL:
            return settle(loadFileURL(provider));
        case Loader::image:
            return settle(
                loadImageData(provider, folder.fileManager, std::make_shared<RandomUUIDSource>()));
        case Loader::url:
            return settle(loadURL(provider));
        case Loader::text:
            return settle(loadText(provider));
        }
        return {};
    }

    // A provider that answers every type with the same answer.
    static FakeProvider answering(const Answer& answer) {
        std::map<std::string, Answer> answers;
        for (const auto type : {Type::fileURL, Type::image, Type::url, Type::plainText})
            answers.emplace(type, answer);
        return FakeProvider({}, answers);
    }

    test::TemporaryFolder folder;
};

TEST(IntakeError, IsInTheTovinShareCategoryWithoutAMessage) {
    const std::error_code code = IntakeError::noImage;
    EXPECT_STREQ(code.category().name(), "tovin.share");
    EXPECT_EQ(code.value(), 2);
    EXPECT_EQ(code.message(), "");
    EXPECT_NE(code, std::error_code(2, std::generic_category()));
}

TEST(ItemCompletion, RunsItsHandlerExactlyOnce) {
    std::atomic<int> calls = 0;
    std::vector<LoadedItem> received;
    const auto counting = [&](LoadedItem loaded) {
        ++calls;
        received.push_back(std::move(loaded));
    };
    {
        const ItemCompletion completion(counting);
        const ItemCompletion copy = completion;
        copy(LoadedItem{QString("first")});
        completion(LoadedItem{QString("second")});
    }
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(received[0].item, LoadedItem::Item(QString("first")));

    received.clear();
    {
        const ItemCompletion dropped(counting);
        const ItemCompletion copy = dropped;
    }
    ASSERT_EQ(calls, 2);
    EXPECT_EQ(received[0].item, LoadedItem::Item());
    EXPECT_EQ(received[0].error, std::nullopt);

    calls = 0;
    {
        const ItemCompletion racing([&](LoadedItem) { ++calls; });
        std::vector<std::jthread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([racing] { racing(LoadedItem{}); });
    }
    EXPECT_EQ(calls, 1);
}

TEST_F(Loaders, AcceptTheirFormsInOrderAndFailWithTheirOwnCode) {
    const QUrl web("https://example.com/a?b=c#d");
    const QUrl file("file:///nowhere/picture.png");
    struct Row {
        const char* name;
        Loader loader;
        LoadedItem delivered;
        Settled expected;
    };
    const Row rows[] = {
        {"file URL as URL", Loader::fileURL, {file}, file},
        {"web URL as file URL", Loader::fileURL, {web}, web},
        {"file URL from bytes",
         Loader::fileURL,
         {QByteArray("file:///tmp/a%20b.pdf")},
         QUrl("file:///tmp/a%20b.pdf")},
        {"bytes with a space",
         Loader::fileURL,
         {QByteArray("file:///tmp/a b")},
         IntakeError::noFileURL},
        {"nothing for file URL", Loader::fileURL, {}, IntakeError::noFileURL},
        {"URL for image, unopened", Loader::image, {file}, file},
        {"null image", Loader::image, {QImage()}, IntakeError::noImage},
        {"nothing for image", Loader::image, {}, IntakeError::noImage},
        {"other object", Loader::image, {OtherObject{}}, IntakeError::noImage},
        {"URL as URL", Loader::url, {web}, web},
        {"URL from text", Loader::url, {QString(web.toString())}, web},
        {"empty text", Loader::url, {QString()}, IntakeError::noURL},
        {"text with a space", Loader::url, {QString("https://exa mple.com")}, IntakeError::noURL},
        {"text beyond ASCII", Loader::url, {QString("https://ex.com/ü")}, IntakeError::noURL},
        {"two fragments", Loader::url, {QString("https://ex.com/#a#b")}, IntakeError::noURL},
        {"bytes for URL", Loader::url, {QByteArray("https://example.com")}, IntakeError::noURL},
        {"text", Loader::text, {QString(" text ")}, QString(" text ")},
        {"empty text", Loader::text, {QString("")}, QString("")},
        {"UTF-8 bytes", Loader::text, {QByteArray("h\xc3\xa9llo")}, QString("héllo")},
        {"bytes not UTF-8", Loader::text, {QByteArray("\xc3\x28")}, IntakeError::noText},
        {"URL for text", Loader::text, {web}, IntakeError::noText},
        {"nothing for text", Loader::text, {}, IntakeError::noText},
        {"error and item", Loader::fileURL, {file, providerError}, providerError},
        {"error and image",
         Loader::image,
         {QImage(4, 4, QImage::Format_RGB32), providerError},
         providerError},
    };
    for (const auto& row : rows) {
        const auto provider = answering(Answer{{row.delivered}, 0ms});
        EXPECT_EQ(load(row.loader, provider), row.expected) << row.name;
    }
    EXPECT_TRUE(folder.files().empty());
}

TEST_F(Loaders, ToleratesLateRepeatedAndDroppedCompletions) {
    const auto late = answering(Answer{{LoadedItem{QString("late")}}, 150ms});
    EXPECT_EQ(load(Loader::text, late), Settled(QString("late")));

    // The second call comes after the loader has resumed and must change nothing.
    const auto twice =
        answering(Answer{{LoadedItem{QString("first")}, LoadedItem{QString("second")}}, 30ms});
    EXPECT_EQ(load(Loader::text, twice), Settled(QString("first")));
    QEventLoop loop;
    QTimer::singleShot(100ms, &loop, &QEventLoop::quit);
    loop.exec();

    const auto dropped = answering(Answer{{}, 0ms});
    const std::pair<Loader, IntakeError> cases[] = {{Loader::fileURL, IntakeError::noFileURL},
                                                    {Loader::image, IntakeError::noImage},
                                                    {Loader::url, IntakeError::noURL},
                                                    {Loader::text, IntakeError::noText}};
    for (const auto& [loader, code] : cases)
        EXPECT_EQ(load(loader, dropped), Settled(std::error_code(code)));
}

// What a provider hands its completion: on which thread, and what.
std::pair<bool, LoadedItem> deliveredBy(const ItemProvider& provider, std::string_view type) {
    std::promise<std::pair<bool, LoadedItem>> delivered;
    auto future = delivered.get_future();
    provider.loadItem(type, ItemCompletion([&delivered](LoadedItem loaded) {
                          delivered.set_value({test::onMainThread(), std::move(loaded)});
                      }));
    return future.get();
}

TEST(ValueItemProvider, DeliversItsItemOnAWorkerThreadForConformingTypesOnly) {
    const QImage image(2, 2, QImage::Format_ARGB32);
    struct Case {
        std::shared_ptr<const ItemProvider> provider;
        std::string_view offered, refused;
        LoadedItem::Item item;
    };
    const Case cases[] = {
        {makeFileProvider("/tmp/a.pdf"), Type::url, Type::image, QUrl("file:///tmp/a.pdf")},
        {makeURLProvider(QUrl("https://a.example")), Type::url, Type::fileURL,
         QUrl("https://a.example")},
        {makeTextProvider("hi"), Type::plainText, Type::url, QString("hi")},
        {makeDataProvider("\x89PNG", std::string(Type::png)), Type::image, Type::plainText,
         QByteArray("\x89PNG")},
        {makeImageProvider(image), Type::image, Type::fileURL, image},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.provider->hasItemConformingTo(c.offered)) << c.offered;
        EXPECT_FALSE(c.provider->hasItemConformingTo(c.refused)) << c.refused;
        const auto [onMain, loaded] = deliveredBy(*c.provider, c.offered);
        EXPECT_FALSE(onMain);
        EXPECT_EQ(loaded.item, c.item) << c.offered;
        EXPECT_EQ(loaded.error, std::nullopt);
        const auto refused = deliveredBy(*c.provider, c.refused).second;
        EXPECT_EQ(refused.error, std::make_error_code(std::errc::not_supported));
        EXPECT_TRUE(std::holds_alternative<std::monostate>(refused.item));
    }
}

} // namespace
} // namespace tovin
