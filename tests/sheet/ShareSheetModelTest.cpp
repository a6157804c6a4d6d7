#include "sheet/ShareSheetModel.h"

#include "shared/PosixFileManager.h"
#include "shared/SharedContainer.h"
#include "support/Fakes.h"
#include "support/TemporaryFolder.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tovin {
namespace {

using ChatListSnapshot::Entry;
using std::nullopt;

// A model whose shared root lies in a temporary home folder.
struct Sheet {
    Sheet() { environment->variables["HOME"] = home.path(); }

    void load(const std::vector<Entry>& chats) {
        ChatListSnapshot::write(chats, *SharedContainer::chatSnapshotURL(*environment), *disk);
        model.loadChats();
    }

    std::vector<std::int64_t> shownIds() const {
        std::vector<std::int64_t> ids;
        for (std::size_t row = 0; row < model.filteredCount(); ++row)
            ids.push_back(model.filteredChat(row).id);
        return ids;
    }

    testing::TemporaryFolder home;
    std::shared_ptr<testing::FakeEnvironment> environment =
        std::make_shared<testing::FakeEnvironment>();
    std::shared_ptr<PosixFileManager> disk = std::make_shared<PosixFileManager>();
    ShareSheetModel model{environment, disk};
};

void expectFilters(Sheet& sheet,
                   const std::vector<std::pair<QString, std::vector<std::int64_t>>>& cases) {
    for (const auto& [searchText, ids] : cases) {
        sheet.model.applyFilter(searchText);
        EXPECT_EQ(sheet.shownIds(), ids) << searchText.toStdString();
    }
}

TEST(ShareSheetModel, FiltersByTrimmedLowerCasedSubstring) {
    Sheet sheet;
    sheet.load({{1, "Alpha"}, {2, "beta"}, {3, "Gamma"}, {3, "Gamma"}, {4, ""}, {5, "Book Club"}});
    expectFilters(sheet, {{"", {1, 2, 3, 3, 4, 5}},
                          {"  A ", {1, 2, 3, 3}},
                          {"ga", {3, 3}},
                          {"GA", {3, 3}},
                          {"g a", {}},
                          {" \t \t", {1, 2, 3, 3, 4, 5}},
                          {"\tgamma\u3000", {3, 3}},
                          {"gamma\u2028", {}},
                          {"\u200Bgamma", {}},
                          {"book club", {5}},
                          {"book  club", {}},
                          // A hit that runs from one title into the next is no match.
                          {"ab", {}}});
}

TEST(ShareSheetModel, MatchesWithFullCaseMappingAndCanonicalEquivalence) {
    Sheet sheet;
    sheet.load({{1, "İstanbul"}, {2, "ΚΟΣΜΟΣ"}, {3, "Café"}, {4, "Cafe\u0301"}, {5, "𐐀 Deseret"}});
    expectFilters(sheet, {{"i\u0307stanbul", {1}},
                          {"İSTANBUL", {1}},
                          {"istanbul", {}},
                          {"κοσμοσ", {2}},
                          {"Σ", {2}},
                          {"κοσμος", {}},
                          {"café", {3, 4}},
                          {"CAFE\u0301", {3, 4}},
                          {"cafe", {}},
                          {"𐐨", {5}}});
    sheet.model.applyFilter("cafe\u0301");
    EXPECT_EQ(sheet.model.data(sheet.model.index(1, 0)), QString("Cafe\u0301"))
        << "a row shows its title as stored";
}

TEST(ShareSheetModel, LoadsTheSnapshotOnlyFromASharedRoot) {
    Sheet sheet;
    sheet.environment->variables.clear();
    QSignalSpy resets(&sheet.model, &QAbstractItemModel::modelReset);
    sheet.model.loadChats();
    EXPECT_EQ(resets.count(), 0) << "without a shared root the table is not reloaded";

    sheet.environment->variables["HOME"] = sheet.home.path();
    sheet.model.loadChats();
    EXPECT_EQ(resets.count(), 1);
    const auto file = *SharedContainer::chatSnapshotURL(*sheet.environment);
    sheet.disk->createDirectory(file.parent_path());
    sheet.disk->writeFile(file, R"([{"id": 1, "title": "a"}, {"id": 2}])", WriteMode::plain);
    sheet.model.loadChats();
    EXPECT_EQ(sheet.model.rowCount(), 0);

    sheet.model.applyFilter("ga");
    sheet.load({{1, "Alpha"}, {2, "Gamma"}});
    EXPECT_EQ(sheet.shownIds(), std::vector<std::int64_t>{2}) << "the search text stays";
    sheet.load({{7, "Gala"}, {8, "Ohm"}});
    EXPECT_EQ(sheet.model.allChats(), (std::vector<Entry>{{7, "Gala"}, {8, "Ohm"}}));
    EXPECT_EQ(sheet.shownIds(), std::vector<std::int64_t>{7}) << "titles are prepared anew";
}

TEST(ShareSheetModel, EnablesSendExactlyWhileTheViewReportsARow) {
    Sheet sheet;
    sheet.load({{1, "Alpha"}, {2, "beta"}, {3, "Gamma"}});
    QAbstractItemModelTester tester(&sheet.model,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy enabled(&sheet.model, &ShareSheetModel::sendEnabledChanged);
    ShareSheetModel& model = sheet.model;
    const std::tuple<std::function<void()>, bool, std::optional<std::int64_t>> steps[] = {
        {[] {}, false, nullopt},
        {[&] { model.selectionChanged(1); }, true, 2},
        {[&] { model.applyFilter("ga"); }, false, nullopt},
        {[&] { model.selectionChanged(0); }, true, 3},
        {[&] { model.selectionChanged(5); }, true, nullopt},
        {[&] { model.selectionChanged(-1); }, false, nullopt},
        {[&] { model.selectionChanged(0); }, true, 3},
        {[&] { model.selectionChanged(nullopt); }, false, nullopt},
    };
    for (const auto& [action, sendEnabled, chatId] : steps) {
        action();
        EXPECT_EQ(model.sendEnabled(), sendEnabled);
        const std::optional<Entry> chat = model.selectedChat();
        EXPECT_EQ(chat ? std::optional(chat->id) : nullopt, chatId);
    }
    std::vector<bool> reported;
    for (const QList<QVariant>& arguments : enabled)
        reported.push_back(arguments.at(0).toBool());
    EXPECT_EQ(reported, (std::vector<bool>{true, false, true, false, true, false}));

    EXPECT_EQ(model.data(model.index(0, 0)), QString("Gamma"));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal), QString("Chat"));
}

TEST(ShareSheetModel, SummarisesInUserPerceivedCharacters) {
    const QString a79(79, u'a'), a80(80, u'a'), thumb("👍🏽"),
        family("👨‍👩‍👧‍👦"), flag("🇩🇪");
    const QString marks(945, QChar(0x0301));
    const std::vector<QUrl> two{QUrl("file:///a.png"), QUrl("file:///b.png")}, one{two[0]};
    const auto text = [](const QString& text) { return SharedContent{text, nullopt, {}, {}}; };
    const std::pair<SharedContent, QString> cases[] = {
        {{}, "Nothing to share."},
        {{"", "", {}, {}}, "Nothing to share."},
        {text(a80), "Text: " + a80},
        {text(a80 + "b"), "Text: " + a80 + "…"},
        {text(thumb.repeated(80)), "Text: " + thumb.repeated(80)},
        {text(thumb.repeated(81)), "Text: " + thumb.repeated(80) + "…"},
        // Flags right after a pictograph, which Qt alone would count wrongly.
        {text(family.repeated(40) + flag.repeated(41)),
         "Text: " + family.repeated(40) + flag.repeated(40) + "…"},
        {text(" two\nlines "), "Text:  two\nlines "},
        {{"hi", "https://a.example", two, one},
         "Text: hi · URL: https://a.example · 2 image(s) · 1 file(s)"},
        {text(QString(100000, u'a')), "Text: " + a80 + "…"},
        // The 80th character ends past the first 1024 code units, goes on past them, or has a
        // skin tone whose first half is the 1024th.
        {text(a79 + "x" + marks + "y"), "Text: " + a79 + "x" + marks + "…"},
        {text(a79 + "x" + marks), "Text: " + a79 + "x" + marks},
        {text(a79 + "x" + marks.first(943) + thumb.last(2) + "y"),
         "Text: " + a79 + "x" + marks.first(943) + thumb.last(2) + "…"},
    };
    Sheet sheet;
    QSignalSpy changed(&sheet.model, &ShareSheetModel::summaryChanged);
    QSignalSpy finished(&sheet.model, &ShareSheetModel::intakeFinished);
    EXPECT_EQ(sheet.model.summary(), "");
    for (const auto& [content, summary] : cases) {
        sheet.model.sharedContent() = content;
        sheet.model.updateSummary();
        EXPECT_EQ(sheet.model.summary(), summary);
        EXPECT_EQ(changed.last().at(0), summary);
    }
    EXPECT_EQ(changed.count(), std::ssize(cases));
    EXPECT_EQ(finished.count(), std::ssize(cases));
}

TEST(ShareSheetModel, ComposesTheMessageFromTheTrimmedCaption) {
    const std::tuple<std::optional<QString>, std::optional<QString>, std::optional<QString>>
        cases[] = {
            {"  hi\n", nullopt, "hi"},
            {"\t\v\f\r\n\u0085\u2028\u2029\u00A0\u3000x  y\u202F ", "shared", "x  y\nshared"},
            {" \n", nullopt, nullopt},
            {nullopt, "  ", "  "},
            {"", "shared", "shared"},
            {"\u200Bcap\uFEFF", "", "\u200Bcap\uFEFF"},
            {nullopt, nullopt, nullopt},
        };
    Sheet sheet;
    for (const auto& [caption, sharedText, text] : cases) {
        sheet.model.sharedContent().sharedText = sharedText;
        const auto trimmed =
            caption ? std::optional(ShareSheetModel::trimmedCaption(*caption)) : nullopt;
        EXPECT_EQ(sheet.model.composeText(trimmed), text) << caption.value_or("-").toStdString();
    }
}

} // namespace
} // namespace tovin
