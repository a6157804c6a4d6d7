#include "sheet/ShareSheetModel.h"

#include "shared/SharedContainer.h"
#include "sheet/EnqueueFailure.h"
#include "sheet/TextPrefix.h"
#include "sheet/Trimmed.h"

#include <QStringList>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <system_error>

namespace tovin {

namespace {

constexpr int summaryTextCharacters = 80;

// Lists of up to this many chats are searched at once, in a few milliseconds; longer ones beside
// (see prepareSearch), so that no keystroke waits for a search.
constexpr std::size_t searchedAtOnce = 250'000;

bool isRegionalIndicator(char32_t c) {
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

char32_t codePointAt(QStringView text, qsizetype at) {
    if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[at], text[at + 1]);
    return text[at].unicode();
}

// Where the first `count` user-perceived characters of `text` end when more follow; no value when
// the text has no more than `count`. Only a prefix is analysed, widened until it settles the
// question, so that a pasted book costs no more than a sentence. Whether a character ends at a
// place depends on what comes before it and on one code point after it, so a boundary inside a
// prefix of whole code points is one of the whole text, except the prefix's own end.
std::optional<qsizetype> endOfCharacters(const QString& text, int count) {
    for (qsizetype scope = 1024;; scope *= 16) {
        const QStringView prefix = textPrefix(text, scope);
        QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, prefix.data(), prefix.size());
        int characters = 0;
        int indicators = 0;
        for (qsizetype at = 0; at < prefix.size();) {
            const char32_t c = codePointAt(prefix, at);
            const qsizetype next = at + (QChar::requiresSurrogates(c) ? 2 : 1);
            if (next == prefix.size())
                break;
            // Qt pairs the regional indicators that make flags wrongly after a pictograph ("🎉🇩🇪"
            // would be three characters): inside a run of them, every second one ends one.
            indicators = isRegionalIndicator(c) ? indicators + 1 : 0;
            boundaries.setPosition(next);
            const bool boundary = indicators > 0 && isRegionalIndicator(codePointAt(prefix, next))
                                      ? indicators % 2 == 0
                                      : boundaries.isAtBoundary();
            if (boundary && ++characters == count)
                return next;
            at = next;
        }
        if (prefix.size() == text.size())
            return std::nullopt;
    }
}

// Keeps `thread`, just made, off the core the calling thread runs on, when the process may run on
// another. A new thread tends to be queued on the core of the thread that made it, where it waits
// for that thread to be preempted, takes the core from it, and only then may move to another.
void keepOffThisCore(std::thread::native_handle_type thread) {
    const int core = sched_getcpu();
    cpu_set_t elsewhere;
    if (core < 0 || core >= CPU_SETSIZE || sched_getaffinity(0, sizeof elsewhere, &elsewhere) != 0)
        return;
    CPU_CLR(core, &elsewhere);
    if (CPU_COUNT(&elsewhere) > 0)
        pthread_setaffinity_np(thread, sizeof elsewhere, &elsewhere);
}

QString abbreviated(const QString& text) {
    const std::optional<qsizetype> end = endOfCharacters(text, summaryTextCharacters);
    return end ? text.first(*end) + u'…' : text;
}

bool isCaptionSpace(QChar c) {
    return c == u'\t' || isLineBreak(c) || c.category() == QChar::Separator_Space;
}

} // namespace

ShareSheetModel::ShareSheetModel(std::shared_ptr<const Environment> environment,
                                 std::shared_ptr<FileManager> fileManager, Reading reading,
                                 QObject* parent)
    : QAbstractTableModel(parent)
    , environment_(std::move(environment))
    , fileManager_(std::move(fileManager))
    , allChats_(std::make_shared<const std::vector<ChatListSnapshot::Entry>>()) {
    const std::optional<std::filesystem::path> file =
        SharedContainer::chatSnapshotURL(*environment_);
    if (reading != Reading::ahead || !file)
        return;
    std::promise<std::vector<ChatListSnapshot::Entry>> chats;
    chatsAhead_ = chats.get_future();
    try {
        readingAhead_ = std::jthread([file = *file, fileManager = fileManager_,
                                      &begun = readingBegun_, chats = std::move(chats)]() mutable {
            chats.set_value(begun.exchange(true) ? std::vector<ChatListSnapshot::Entry>()
                                                 : ChatListSnapshot::read(file, *fileManager));
        });
    } catch (const std::system_error&) {
        // No thread to read on: loadChats() reads.
        chatsAhead_ = {};
        return;
    }
    // The main thread builds the window meanwhile.
    keepOffThisCore(readingAhead_.native_handle());
}

void ShareSheetModel::loadChats() {
    const std::optional<std::filesystem::path> file =
        SharedContainer::chatSnapshotURL(*environment_);
    if (!file)
        return;
    searcher_.reset();
    allChats_ = std::make_shared<const std::vector<ChatListSnapshot::Entry>>(takeChats(*file));
    searchIndex_.reset();
    applyFilter(searchText_);
}

std::vector<ChatListSnapshot::Entry> ShareSheetModel::takeChats(const std::filesystem::path& file) {
    if (chatsAhead_.valid()) {
        if (readingBegun_.exchange(true))
            return chatsAhead_.get();
        // The reading thread has not begun, as when no other core has been free for it: waiting
        // for it could take longer than the read.
        chatsAhead_ = {};
    }
    return ChatListSnapshot::read(file, *fileManager_);
}

void ShareSheetModel::applyFilter(const QString& searchText) {
    searchText_ = searchText;
    const QString query = ChatSearchIndex::query(searchText);
    if (query.isEmpty())
        return showFiltered(std::nullopt);
    if (!searchIndex_ && searcher_)
        searchIndex_ = searcher_->preparedIndex();
    if (searcher_ && (!searchIndex_ || allChats_->size() > searchedAtOnce)) {
        searcher_->search(query);
        return;
    }
    if (!searchIndex_)
        searchIndex_ =
            std::make_shared<const ChatSearchIndex>(*ChatSearchIndex::prepare(*allChats_));
    showFiltered(searchIndex_->matching(query));
}

void ShareSheetModel::prepareSearch() {
    if (searcher_)
        return;
    searcher_ = std::make_unique<ChatSearcher>(
        allChats_, this,
        [this, chats = allChats_](const QString& query, std::vector<std::size_t> positions) {
            // Answers for a list loaded since, or for a search text changed since, are dropped.
            if (chats == allChats_ && query == ChatSearchIndex::query(searchText_))
                showFiltered(std::move(positions));
        });
}

void ShareSheetModel::showFiltered(std::optional<std::vector<std::size_t>> positions) {
    // A view forgets its selection when the model resets; a row it selects again, even while the
    // reset ends, is reported afterwards and stands.
    setSelectedRow(std::nullopt);
    beginResetModel();
    filteredChats_ = std::move(positions);
    endResetModel();
}

void ShareSheetModel::selectionChanged(std::optional<int> selectedRow) {
    setSelectedRow(selectedRow && *selectedRow >= 0 ? selectedRow : std::nullopt);
}

void ShareSheetModel::setSelectedRow(std::optional<int> row) {
    const bool wasEnabled = sendEnabled();
    selectedRow_ = row;
    if (sendEnabled() != wasEnabled)
        emit sendEnabledChanged(sendEnabled());
}

bool ShareSheetModel::sendEnabled() const {
    return selectedRow_.has_value();
}

std::optional<ChatListSnapshot::Entry> ShareSheetModel::selectedChat() const {
    if (!selectedRow_ || static_cast<std::size_t>(*selectedRow_) >= filteredCount())
        return std::nullopt;
    return filteredChat(static_cast<std::size_t>(*selectedRow_));
}

std::size_t ShareSheetModel::filteredCount() const {
    return filteredChats_ ? filteredChats_->size() : allChats_->size();
}

const ChatListSnapshot::Entry& ShareSheetModel::filteredChat(std::size_t row) const {
    if (row >= filteredCount())
        throw std::out_of_range("no such row of the filtered chats");
    return (*allChats_)[filteredChats_ ? (*filteredChats_)[row] : row];
}

const std::vector<ChatListSnapshot::Entry>& ShareSheetModel::allChats() const {
    return *allChats_;
}

QString ShareSheetModel::summary() const {
    return summary_;
}

QString ShareSheetModel::errorLine() const {
    return errorLine_;
}

void ShareSheetModel::setErrorLine(const QString& errorLine) {
    errorLine_ = errorLine;
    emit errorLineChanged(errorLine_);
}

std::optional<QString> ShareSheetModel::composeText(const std::optional<QString>& caption) const {
    QStringList kept;
    for (const std::optional<QString>& part : {caption, content_.sharedText})
        if (part && !part->isEmpty())
            kept.append(*part);
    if (kept.isEmpty())
        return std::nullopt;
    return kept.join(u'\n');
}

QString ShareSheetModel::trimmedCaption(const QString& caption) {
    return trimmed(caption, isCaptionSpace).toString();
}

SharedContent& ShareSheetModel::sharedContent() {
    return content_;
}

const SharedContent& ShareSheetModel::sharedContent() const {
    return content_;
}

void ShareSheetModel::updateSummary() {
    QStringList parts;
    if (content_.sharedText && !content_.sharedText->isEmpty())
        parts.append(tr("Text: %1").arg(abbreviated(*content_.sharedText)));
    if (content_.sharedURL && !content_.sharedURL->isEmpty())
        parts.append(tr("URL: %1").arg(*content_.sharedURL));
    if (const auto images = static_cast<int>(content_.sharedImageURLs.size()); images > 0)
        parts.append(tr("%n image(s)", nullptr, images));
    if (const auto files = static_cast<int>(content_.sharedFileURLs.size()); files > 0)
        parts.append(tr("%n file(s)", nullptr, files));
    summary_ = parts.isEmpty() ? tr("Nothing to share.") : parts.join(u" · ");
    emit summaryChanged(summary_);
    emit intakeFinished();
}

void ShareSheetModel::itemLost(std::error_code error) {
    // What the request left out, said before the intake ran, stays said.
    const QString loss = intakeLossMessage(error);
    if (!errorLine_.contains(loss))
        setErrorLine(errorLine_.isEmpty() ? loss : errorLine_ + u' ' + loss);
    emit intakeLostItem();
}

int ShareSheetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(filteredCount());
}

int ShareSheetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant ShareSheetModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= filteredCount())
        return {};
    return QString::fromStdString(filteredChat(static_cast<std::size_t>(index.row())).title);
}

QVariant ShareSheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section != 0 || orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return tr("Chat");
}

} // namespace tovin
