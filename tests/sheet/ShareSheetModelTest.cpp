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

// A model over a chat list in the shared folder of a temporary home.
class ShareSheetModelTest : public ::testing::Test {
protected:
    ShareSheetModelTest() { environment->variables["HOME"] = home.path(); }

    void write(const std::vector<ChatListSnapshot::Entry>& chats) {
        ChatListSnapshot::write(chats, *SharedContainer::chatSnapshotURL(*environment), *disk);
    }
    void write(std::size_t count, const char* prefix) {
        std::vector<ChatListSnapshot::Entry> chats;
        for (std::size_t i = 0; i < count; ++i)
            chats.push_back({static_cast<std::int64_t>(i), prefix + std::to_string(i)});
        write(chats);
    }

    testing::TemporaryFolder home;
    const std::shared_ptr<testing::FakeEnvironment> environment =
        std::make_shared<testing::FakeEnvironment>();
    const std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
};

// The titles that a search field's text shows, as the table shows them.
TEST_F(ShareSheetModelTest, SearchesTitlesAsTheyReadWhateverTheirCaseAndForm) {
    const QString all = "Alpha|beta|Gamma||Book Club|İstanbul|ΚΟΣΜΟΣ|Café|Cafe\u0301|𐐀 Deseret";
    const std::pair<QString, QString> rows[] = {
        {" \t \t", all},
        {"  GA ", "Gamma"},
        {"\tgamma\u3000", "Gamma"},
        {"gamma\u2028", ""},
        {"\u200Bgamma", ""},
        {"book club", "Book Club"},
        {"book  club", ""},
        // A hit that runs from one title into the next is no match.
        {"ab", ""},
        {"i\u0307stanbul", "İstanbul"},
        {"İSTANBUL", "İstanbul"},
        {"istanbul", ""},
        {"κοσμοσ", "ΚΟΣΜΟΣ"},
        {"Σ", "ΚΟΣΜΟΣ"},
        {"κοσμος", ""},
        {"café", "Café|Cafe\u0301"},
        {"CAFE\u0301", "Café|Cafe\u0301"},
        {"cafe", ""},
        {"𐐨", "𐐀 Deseret"},
    };
    write({{1, "Alpha"},
           {2, "beta"},
           {3, "Gamma"},
           {4, ""},
           {5, "Book Club"},
           {6, "İstanbul"},
           {7, "ΚΟΣΜΟΣ"},
           {8, "Café"},
           {9, "Cafe\u0301"},
           {10, "𐐀 Deseret"}});
    ShareSheetModel model(environment, disk);
    const QAbstractItemModelTester tester(&model,
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.loadChats();
    for (const auto& [input, expected] : rows) {
        model.applyFilter(input);
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown.append(model.index(row, 0).data().toString());
        EXPECT_EQ(shown.join(u'|'), expected) << input.toStdString();
    }
}

// A shared text in the summary, cut after its 80th character as a person counts them.
TEST_F(ShareSheetModelTest, SummarisesATextCutAfterItsEightiethCharacter) {
    const QString a79(79, u'a'), a80(80, u'a'), thumb("👍🏽"),
        family("👨‍👩‍👧‍👦"), flag("🇩🇪");
    const QString marks(945, QChar(0x0301));
    const std::pair<QString, QString> rows[] = {
        {"", "Nothing to share."},
        {a80, "Text: " + a80},
        {a80 + "b", "Text: " + a80 + "…"},
        {thumb.repeated(81), "Text: " + thumb.repeated(80) + "…"},
        // Flags right after a pictograph, which Qt alone would count wrongly.
        {family.repeated(40) + flag.repeated(41),
         "Text: " + family.repeated(40) + flag.repeated(40) + "…"},
        // The 80th character ends past the first 1024 code units, goes on past them, or has a
        // skin tone whose first half is the 1024th.
        {a79 + "x" + marks + "y", "Text: " + a79 + "x" + marks + "…"},
        {a79 + "x" + marks, "Text: " + a79 + "x" + marks},
        {a79 + "x" + marks.first(943) + thumb.last(2) + "y",
         "Text: " + a79 + "x" + marks.first(943) + thumb.last(2) + "…"},
    };
    ShareSheetModel model(environment, disk);
    for (const auto& [input, expected] : rows) {
        model.sharedContent() = {input, std::nullopt, {}, {}};
        model.updateSummary();
        EXPECT_EQ(model.summary(), expected) << input.toStdString();
    }
}

// A caption, trimmed of every kind of space but what a person would type as text, joined to the
// shared text "shared" as the message text.
TEST_F(ShareSheetModelTest, ComposesTheTrimmedCaptionBeforeTheSharedText) {
    const std::pair<QString, QString> rows[] = {
        {"\t\v\f\r\n\u0085\u2028\u2029\u00A0\u3000x  y\u202F ", "x  y\nshared"},
        {" \n", "shared"},
        {"\u200Bcap\uFEFF", "\u200Bcap\uFEFF\nshared"},
    };
    ShareSheetModel model(environment, disk);
    model.sharedContent() = {"shared", std::nullopt, {}, {}};
    for (const auto& [input, expected] : rows)
        EXPECT_EQ(model.composeText(ShareSheetModel::trimmedCaption(input)), expected)
            << input.toStdString();
}

// The titles a model shows, and those a plain search of each title finds.
std::vector<std::string> shown(const ShareSheetModel& model) {
    std::vector<std::string> titles;
    for (std::size_t row = 0; row < model.filteredCount(); ++row)
        titles.push_back(model.filteredChat(row).title);
    return titles;
}

std::vector<std::string> found(const ShareSheetModel& model, const std::string& query) {
    std::vector<std::string> titles;
    for (const ChatListSnapshot::Entry& chat : model.allChats())
        if (chat.title.find(query) != std::string::npos)
            titles.push_back(chat.title);
    return titles;
}

// Long enough to be searched in parts, beside or not: what the sheet shows once a search has
// answered is what a plain search of each title shows.
TEST_F(ShareSheetModelTest, SearchesALongListBesideAndInPartsAsAPlainSearchWould) {
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
            EXPECT_TRUE(reset.wait(10000)) << query;
        }
        EXPECT_EQ(shown(model), found(model, query)) << query;
    }
}

// Answers about a list that has since been loaded again are dropped.
TEST_F(ShareSheetModelTest, DropsASearchOfAListLoadedAgainSince) {
    write(1000, "Chat ");
    ShareSheetModel model(environment, disk);
    model.loadChats();
    model.prepareSearch();
    model.applyFilter("2");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    write(3, "Group ");
    model.loadChats();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(model), std::vector<std::string>{"Group 2"});
}

// Read ahead, the list is the snapshot's whether the reading thread or loadChats() begins first,
// and a model that goes first leaves nothing running.
TEST_F(ShareSheetModelTest, ReadsAheadTheSameListWhicheverBeginsFirst) {
    write(1000, "Chat ");
    ShareSheetModel model(environment, disk);
    model.loadChats();
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
