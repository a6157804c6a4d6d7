#include "PrivateSessionBus.h"
#include "SheetTestSupport.h"
#include "sheet/DBusNotifier.h"
#include "sheet/ShareFlow.h"

#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;
using Phase = ShareFlow::Phase;
using Kind = ShareOutbox::Manifest::Attachment::Kind;
using Items = std::vector<InputItem>;

// The model and the flow of one sheet, opened over a home as the controller opens them.
struct Sheet {
    Sheet(Home& home, std::optional<Items> items)
        : Sheet(home.services(std::move(items))) {}
    explicit Sheet(SheetServices services)
        : model(services.environment, services.fileManager)
        , flow(model, std::move(services)) {
        model.loadChats();
        flow.startIntake();
    }

    void send(int row, const QString& caption = {}) {
        model.selectionChanged(row);
        flow.send(caption);
    }
    bool intakeFinished() {
        return QTest::qWaitFor([&] { return !model.summary().isEmpty(); }, 10000);
    }
    bool settled() {
        return QTest::qWaitFor([&] { return flow.phase() != Phase::writing; }, 10000);
    }

    ShareSheetModel model;
    ShareFlow flow;
};

// A disk that is full when the manifest is written, for as long as the test says.
class FullForManifests final : public FileManagerWrapper {
public:
    using FileManagerWrapper::FileManagerWrapper;
    void writeFile(const fs::path& file, std::string_view bytes, WriteMode mode) override {
        if (full)
            throw fs::filesystem_error("cannot write", file,
                                       std::make_error_code(std::errc::no_space_on_device));
        FileManagerWrapper::writeFile(file, bytes, mode);
    }
    bool full = true;
};

TEST(ShareFlow, SendAndCancelEndInTheirStatesWithTheirEffectsInOrder) {
    const Log sent = {"post", "open tovin://share", "complete"};
    const Log cancelled = {"cancel NSCocoaErrorDomain 3072"};
    struct Case {
        const char* what;
        bool request;
        std::function<void(Home&, Sheet&)> act;
        Phase phase;
        Log log;
        const char* errorLine;
        std::size_t shares;
    };
    const Case cases[] = {
        {"nothing selected",
         true,
         [](Home&, Sheet& sheet) { sheet.flow.send("hi"); },
         Phase::open,
         {},
         "",
         0},
        {"a row past the list",
         true,
         [](Home&, Sheet& sheet) { sheet.send(3); },
         Phase::open,
         {},
         "",
         0},
        {"no shared root",
         true,
         [](Home& home, Sheet& sheet) {
             home.environment->variables.erase("HOME");
             sheet.send(0);
         },
         Phase::open,
         {},
         "Could not reach tovin's shared folder.",
         0},
        {"a file gone",
         true,
         [](Home& home, Sheet& sheet) {
             fs::remove(home.folder / "gone.png");
             sheet.send(0);
         },
         Phase::open,
         {},
         "Could not copy “gone.png”: it no longer exists.",
         0},
        {"a full disk",
         true,
         [](Home& home, Sheet& sheet) {
             home.files = std::make_shared<FullForManifests>(home.disk);
             Sheet full(home, Items{});
             ASSERT_TRUE(full.intakeFinished());
             full.send(0);
             ASSERT_TRUE(full.settled());
             EXPECT_EQ(full.flow.phase(), Phase::open);
             sheet.model.setErrorLine(full.model.errorLine());
         },
         Phase::open,
         {},
         "Could not save the share in tovin's shared folder: the disk is full.",
         0},
        {"sent", true, [](Home&, Sheet& sheet) { sheet.send(2, "hi"); }, Phase::sent, sent, "", 1},
        {"sent without a request",
         false,
         [](Home&, Sheet& sheet) { sheet.send(0); },
         Phase::sent,
         {"post", "open tovin://share"},
         "",
         1},
        {"cancelled", true, [](Home&, Sheet& sheet) { sheet.flow.cancel(); }, Phase::cancelled,
         cancelled, "", 0},
        {"cancelled without a request",
         false,
         [](Home&, Sheet& sheet) { sheet.flow.cancel(); },
         Phase::open,
         {},
         "",
         0},
        {"sent after cancelling", true,
         [](Home&, Sheet& sheet) {
             sheet.flow.cancel();
             sheet.send(0);
         },
         Phase::cancelled, cancelled, "", 0},
        {"cancelled after sending", true,
         [](Home&, Sheet& sheet) {
             sheet.send(0);
             ASSERT_TRUE(sheet.settled());
             sheet.flow.cancel();
         },
         Phase::sent, sent, "", 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Home home;
        std::optional<Items> items;
        if (test.request)
            items = Items{{std::nullopt, {home.file("gone.png")}}};
        Sheet sheet(home, std::move(items));
        ASSERT_TRUE(!test.request || sheet.intakeFinished());
        test.act(home, sheet);
        ASSERT_TRUE(sheet.settled());
        EXPECT_EQ(sheet.flow.phase(), test.phase);
        EXPECT_EQ(home.log, test.log);
        EXPECT_EQ(sheet.model.errorLine().toStdString(), test.errorLine);
        EXPECT_EQ(home.queued().size(), test.shares);
        if (test.phase == Phase::cancelled) {
            EXPECT_FALSE(fs::exists(home.outbox));
        }
    }
}

TEST(ShareFlow, SendingAgainAfterAFailureQueuesOneShareOfTheCaptionTextLinkAndFiles) {
    Home home;
    const auto disk = std::make_shared<FullForManifests>(home.disk);
    home.files = disk;
    Sheet sheet(home,
                Items{{"shared text",
                       {home.file("report.pdf"), makeURLProvider(QUrl("https://example.org/a?b")),
                        home.file("a.png"), home.file("b.jpg")}}});
    ASSERT_TRUE(sheet.intakeFinished());

    sheet.send(2, "  hi\n");
    ASSERT_TRUE(sheet.settled());
    EXPECT_EQ(sheet.flow.phase(), Phase::open);
    EXPECT_TRUE(home.log.empty());

    disk->full = false;
    sheet.flow.send("\u3000hi\t");
    ASSERT_TRUE(sheet.settled());
    EXPECT_EQ(home.log, (Log{"post", "open tovin://share", "complete"}));
    const auto shares = home.queued();
    ASSERT_EQ(shares.size(), 1u);
    const ShareOutbox::Manifest& manifest = shares[0].manifest;
    EXPECT_EQ(manifest.chatId, 9007199254740993);
    EXPECT_EQ(manifest.text, "hi\nshared text");
    EXPECT_EQ(manifest.url, "https://example.org/a?b");
    EXPECT_EQ(manifest.attachments,
              (std::vector<ShareOutbox::Manifest::Attachment>{
                  {Kind::image, "a.png"}, {Kind::image, "b.jpg"}, {Kind::file, "report.pdf"}}));
}

// A load that has not returned holds the share back. Cancel wins over the waiting Send, also when
// the load never returns before the sheet goes.
TEST(ShareFlow, SendDuringTheIntakeWaitsForEveryItemAndCancelWins) {
    enum class Then { loadReturns, cancel, sheetGoes };
    for (const Then then : {Then::loadReturns, Then::cancel, Then::sheetGoes}) {
        SCOPED_TRACE(static_cast<int>(then));
        Home home;
        const auto held = std::make_shared<HeldFileProvider>();
        auto sheet = std::make_unique<Sheet>(
            home, Items{{std::nullopt, {home.file("a.png"), held, home.file("c.png")}}});
        ASSERT_TRUE(QTest::qWaitFor([&] { return held->asked(); }, 10000));

        sheet->send(1, "caption");
        EXPECT_EQ(sheet->flow.phase(), Phase::waiting);
        sheet->model.selectionChanged(std::nullopt);
        if (then != Then::loadReturns)
            sheet->flow.cancel();
        if (then == Then::sheetGoes)
            sheet.reset();
        std::ofstream(home.folder / "b.png") << "bytes";
        held->deliver(home.folder / "b.png");
        if (!sheet) {
            QTest::qWait(100);
            EXPECT_EQ(home.log, Log{"cancel NSCocoaErrorDomain 3072"});
            continue;
        }
        ASSERT_TRUE(sheet->intakeFinished());
        ASSERT_TRUE(sheet->settled());

        if (then == Then::cancel) {
            EXPECT_EQ(sheet->flow.phase(), Phase::cancelled);
            EXPECT_EQ(home.log, Log{"cancel NSCocoaErrorDomain 3072"});
            EXPECT_TRUE(home.queued().empty());
            continue;
        }
        EXPECT_EQ(sheet->flow.phase(), Phase::sent);
        const auto shares = home.queued();
        ASSERT_EQ(shares.size(), 1u);
        EXPECT_EQ(shares[0].manifest.chatId, -2);
        EXPECT_EQ(shares[0].manifest.text, "caption");
        EXPECT_EQ(shares[0].manifest.attachments,
                  (std::vector<ShareOutbox::Manifest::Attachment>{
                      {Kind::image, "a.png"}, {Kind::image, "b.png"}, {Kind::image, "c.png"}}));
    }
}

TEST(ShareFlow, ASlowWriteKeepsTheEventLoopTurningReportsProgressAndOutlivesTheSheet) {
    Home home;
    home.files = std::make_shared<SlowCopies>(home.disk, std::chrono::milliseconds(150));
    const Items items{{std::nullopt, {home.file("video.mp4", std::string(4000, 'v'))}}};
    auto sheet = std::make_unique<Sheet>(home, items);
    ASSERT_TRUE(sheet->intakeFinished());
    QSignalSpy progress(&sheet->flow, &ShareFlow::progressChanged);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    sheet->send(0);
    EXPECT_EQ(sheet->flow.phase(), Phase::writing);
    ASSERT_TRUE(sheet->settled());
    EXPECT_EQ(sheet->flow.phase(), Phase::sent);
    EXPECT_GE(ticks, 10);
    std::uintmax_t done = 0;
    int between = 0;
    for (const QList<QVariant>& report : progress) {
        const auto now = report[0].value<std::uintmax_t>();
        const auto total = report[1].value<std::uintmax_t>();
        EXPECT_GE(now, done);
        EXPECT_TRUE(total == 4000 || (now == 0 && total == 0)) << total;
        between += now > 0 && now < 4000;
        done = now;
    }
    EXPECT_GE(between, 2);

    // The sheet goes while the next share is written: the write ends, and nothing is told.
    sheet = std::make_unique<Sheet>(home, items);
    ASSERT_TRUE(sheet->intakeFinished());
    sheet->send(0);
    sheet.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return home.queued().size() == 2; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(std::count(home.log.begin(), home.log.end(), "post"), 1);
}

TEST(ShareFlow, PostsOneSignalOnTheSessionBusPerShareQueuedAndNoneOtherwise) {
    PrivateSessionBus bus;
    EnqueueSignals received(bus.connect());
    struct Case {
        const char* what;
        std::function<void(Home&, Sheet&)> act;
        int posted;
    };
    const Case cases[] = {
        {"sent", [](Home&, Sheet& sheet) { sheet.send(0); }, 1},
        {"failed",
         [](Home& home, Sheet& sheet) {
             fs::remove(home.folder / "a.png");
             sheet.send(0);
         },
         0},
        {"no shared root",
         [](Home& home, Sheet& sheet) {
             home.environment->variables.erase("HOME");
             sheet.send(0);
         },
         0},
        {"cancelled", [](Home&, Sheet& sheet) { sheet.flow.cancel(); }, 0},
    };
    for (const auto& [what, act, posted] : cases) {
        SCOPED_TRACE(what);
        Home home;
        SheetServices services = home.services(Items{{std::nullopt, {home.file("a.png")}}});
        services.notifier = std::make_shared<DBusNotifier>(bus.connect());
        Sheet sheet(std::move(services));
        ASSERT_TRUE(sheet.intakeFinished());
        const int before = received.arrived();
        act(home, sheet);
        ASSERT_TRUE(sheet.settled());
        EXPECT_EQ(received.arrived() - before, posted);
    }
}

} // namespace
} // namespace tovin::test
