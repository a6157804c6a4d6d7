#include "sheet/ShareSheetModel.h"

#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringList>
#include <chrono>
#include <gtest/gtest.h>
#include <string_view>
#include <thread>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tovin {
namespace {

// Each case applies one rule to its input: the search field's text (the titles shown, as the
// table shows them), a shared text (the summary), or a caption joined to the shared text
// "shared" (the message text; "-" for none).
TEST(ShareSheetModel, SearchesSummarisesAndComposesByTheirTextRules) {
    enum Rule { search, summary, message };
    const QString a79(79, u'a'), a80(80, u'a'), thumb("👍🏽"),
        family("👨‍👩‍👧‍👦"), flag("🇩🇪");
    const QString marks(945, QChar(0x0301));
    const QString all = "Alpha|beta|Gamma||Book Club|İstanbul|ΚΟΣΜΟΣ|Café|Cafe\u0301|𐐀 Deseret";
    const std::tuple<Rule, QString, QString> cases[] = {
        {search, " \t \t", all},
        {search, "  GA ", "Gamma"},
        {search, "\tgamma\u3000", "Gamma"},
        {search, "gamma\u2028", ""},
        {search, "\u200Bgamma", ""},
        {search, "book club", "Book Club"},
        {search, "book  club", ""},
        // A hit that runs from one title into the next is no match.
        {search, "ab", ""},
        {search, "i\u0307stanbul", "İstanbul"},
        {search, "İSTANBUL", "İstanbul"},
        {search, "istanbul", ""},
        {search, "κοσμοσ", "ΚΟΣΜΟΣ"},
        {search, "Σ", "ΚΟΣΜΟΣ"},
        {search, "κοσμος", ""},
        {search, "café", "Café|Cafe\u0301"},
        {search, "CAFE\u0301", "Café|Cafe\u0301"},
        {search, "cafe", ""},
        {search, "𐐨", "𐐀 Deseret"},
        {summary, "", "Nothing to share."},
        {summary, a80, "Text: " + a80},
        {summary, a80 + "b", "Text: " + a80 + "…"},
        {summary, thumb.repeated(81), "Text: " + thumb.repeated(80) + "…"},
        // Flags right after a pictograph, which Qt alone would count wrongly.
        {summary, family.repeated(40) + flag.repeated(41),
         "Text: " + family.repeated(40) + flag.repeated(40) + "…"},
        // The 80th character ends past the first 1024 code units, goes on past them, or has a
        // skin tone whose first half is the 1024th.
        {summary, a79 + "x" + marks + "y", "Text: " + a79 + "x" + marks + "…"},
        {summary, a79 + "x" + marks, "Text: " + a79 + "x" + marks},
        {summary, a79 + "x" + marks.first(943) + thumb.last(2) + "y",
         "Text: " + a79 + "x" + marks.first(943) + thumb.last(2) + "…"},
        {message, "\t\v\f\r\n\u0085\u2028\u2029\u00A0\u3000x  y\u202F ", "x  y\nshared"},
        {message, " \n", "shared"},
        {message, "\u200Bcap\uFEFF", "\u200Bcap\uFEFF\nshared"},
    };

    testing::TemporaryFolder home;
    const auto environment = std::make_shared<testing::FakeEnvironment>();
    environment->variables["HOME"] = home.path();
    const auto disk = std::make_shared<PosixFileManager>();
    ChatListSnapshot::write({{1, "Alpha"},
                             {2, "beta"},
                             {3, "Gamma"},
                             {4, ""},
                             {5, "Book Club"},
                             {6, "İstanbul"},
                             {7, "ΚΟΣΜΟΣ"},
                             {8, "Café"},
                             {9, "Cafe\u0301"},
                             {10, "𐐀 Deseret"}},
                            *SharedContainer::chatSnapshotURL(*environment), *disk);
    ShareSheetModel model(environment, disk);
    const QAbstractItemModelTester tester(&model,
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.loadChats();
    for (const auto& [rule, input, expected] : cases) {
        QStringList shown;
        if (rule == search) {
            model.applyFilter(input);
            for (int row = 0; row < model.rowCount(); ++row)
                shown.append(model.index(row, 0).data().toString());
        } else if (rule == summary) {
            model.sharedContent() = {input, std::nullopt, {}, {}};
            model.updateSummary();
            shown.append(model.summary());
        } else {
            model.sharedContent() = {"shared", std::nullopt, {}, {}};
            shown.append(model.composeText(ShareSheetModel::trimmedCaption(input)).value_or("-"));
        }
        EXPECT_EQ(shown.join(u'|'), expected) << input.toStdString();
    }
}

// Long enough to be searched in parts, beside or not: what the sheet shows once a search has
// answered is what a plain search of each title shows.
TEST(ShareSheetModel, SearchesALongListBesideAndInPartsAsAPlainSearchWould) {
    testing::TemporaryFolder home;
    const auto environment = std::make_shared<testing::FakeEnvironment>();
    environment->variables["HOME"] = home.path();
    const auto disk = std::make_shared<PosixFileManager>();
    const auto write = [&](std::size_t count, const char* prefix) {
        std::vector<ChatListSnapshot::Entry> chats;
        for (std::size_t i = 0; i < count; ++i)
            chats.push_back({static_cast<std::int64_t>(i), prefix + std::to_string(i)});
        ChatListSnapshot::write(chats, *SharedContainer::chatSnapshotURL(*environment), *disk);
    };
    const auto shown = [](const ShareSheetModel& model) {
        std::vector<std::string> titles;
        for (std::size_t row = 0; row < model.filteredCount(); ++row)
            titles.push_back(model.filteredChat(row).title);
        return titles;
    };
    const auto found = [](const ShareSheetModel& model, const std::string& query) {
        std::vector<std::string> titles;
        for (const ChatListSnapshot::Entry& chat : model.allChats())
            if (chat.title.find(query) != std::string::npos)
                titles.push_back(chat.title);
        return titles;
    };
    write(300'000, "Chat ");
    {
        ShareSheetModel model(environment, disk);
        model.loadChats();
        model.prepareSearch();
        model.applyFilter("1");
        // Left while the titles are being prepared.
    }
    ShareSheetModel model(environment, disk);
    model.loadChats();
    for (const char* query : {"9", "99", "t 19", "19", "t"}) {
        model.applyFilter(QString::fromLatin1(query));
        EXPECT_EQ(shown(model), found(model, query)) << query;
    }
    model.applyFilter("");
    model.prepareSearch();
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.applyFilter("1");
    EXPECT_EQ(model.filteredCount(), 300'000u) << "the rows wait for the search";
    ASSERT_TRUE(reset.wait(10000));
    model.applyFilter("9");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    model.applyFilter("");
    model.applyFilter("99");
    ASSERT_TRUE(reset.wait(10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(reset.count(), 3) << "the search for 9, answered after the text changed, is shown";
    for (const char* query : {"99", "t 19", "19", "t"}) {
        if (std::string_view(query) != "99") {
            const std::vector<std::string> before = shown(model);
            model.applyFilter(QString::fromLatin1(query));
            EXPECT_EQ(shown(model), before) << "the rows wait for the search";
            ASSERT_TRUE(reset.wait(10000));
        }
        EXPECT_EQ(shown(model), found(model, query)) << query;
    }

    // Answers about a list that has since been loaded again are dropped.
    model.applyFilter("");
    write(1000, "Chat ");
    model.loadChats();
    model.prepareSearch();
    model.applyFilter("2");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    write(3, "Group ");
    model.loadChats();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(model), std::vector<std::string>{"Group 2"});

    // Read ahead, the list is the snapshot's whether the reading thread or loadChats() begins
    // first, and a model that goes first leaves nothing running.
    for (int round = 0; round < 40; ++round) {
        ShareSheetModel ahead(environment, disk, ShareSheetModel::Reading::ahead);
        if (round % 4 == 3)
            continue;
        std::this_thread::sleep_for(std::chrono::microseconds(round % 4 * 500));
        ahead.loadChats();
        EXPECT_EQ(ahead.allChats(), model.allChats()) << round;
    }
}

} // namespace
} // namespace tovin
