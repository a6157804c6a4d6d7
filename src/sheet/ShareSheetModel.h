#pragma once

#include "intake/ShareIntake.h"
#include "intake/SharedContent.h"
#include "shared/ChatListSnapshot.h"
#include "shared/Environment.h"
#include "shared/FileManager.h"
#include "sheet/ChatSearchIndex.h"
#include "sheet/ChatSearcher.h"

#include <QAbstractTableModel>
#include <QString>
#include <atomic>
#include <cstddef>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace tovin {

// The state of one share sheet and the rules that turn it into what the sheet shows: the chat
// list and its search filter, whether Send may be pressed, the summary and error lines, and the
// message text. As a table model it has one column, headed "Chat", and one row per chat that
// passes the filter; a row's title becomes a display string only when a view asks for it. It is
// the intake's owner of the shared content. Everything runs on the main thread.
class ShareSheetModel final : public QAbstractTableModel, public SharedContentOwner {
    Q_OBJECT

public:
    // When the first loadChats() reads the chat list snapshot.
    enum class Reading {
        // As it runs.
        onLoad,
        // From construction on, on a thread of its own and on another core than the constructing
        // thread's where the process may use one, so that the reading and whatever comes before
        // loadChats(), such as building a window, overlap. A loadChats() that comes before the
        // thread has begun reads without it.
        ahead,
    };

    ShareSheetModel(std::shared_ptr<const Environment> environment,
                    std::shared_ptr<FileManager> fileManager, Reading reading = Reading::onLoad,
                    QObject* parent = nullptr);

    // Reads the chat list snapshot of the shared root into allChats() and filters it by the last
    // search text. Without a shared root nothing changes; a missing or unreadable snapshot is an
    // empty list. Nothing is reported either way.
    void loadChats();

    // Keeps the chats whose title contains the query made of `searchText` (see
    // ChatSearchIndex::query), every chat when the query is empty, in the order of allChats().
    // The table is reset, so no row is selected until the view reports one. A query that is not
    // empty needs every title prepared for searching: the first such query prepares them, unless
    // prepareSearch() does. After prepareSearch(), a long list, or one whose titles are still
    // being prepared, is searched beside: the rows change when the search answers, unless the
    // search text has changed by then. Loading never prepares the titles.
    void applyFilter(const QString& searchText);

    // Prepares every title for searching on a thread of its own (see ChatSearcher), which from
    // then on also searches a long list, so that no keystroke waits for either. Loading the chats
    // again ends that, until this is called again.
    void prepareSearch();

    // Takes the view's selected row, no value (or a negative row) meaning none, and recomputes
    // whether Send is enabled.
    void selectionChanged(std::optional<int> selectedRow);

    // Exactly whether the view reports a selected row.
    bool sendEnabled() const;

    // The chat at the reported row, or no value when no row is reported or the row is not one of
    // the filtered chats.
    std::optional<ChatListSnapshot::Entry> selectedChat() const;

    // The chats that pass the filter, as the table's rows; filteredChat throws std::out_of_range
    // for a row that is not below filteredCount().
    std::size_t filteredCount() const;
    const ChatListSnapshot::Entry& filteredChat(std::size_t row) const;

    // Every chat of the snapshot, in file order.
    const std::vector<ChatListSnapshot::Entry>& allChats() const;

    // The summary line: empty until the intake has finished.
    QString summary() const;

    // The error line: empty until the send procedure writes it.
    QString errorLine() const;
    void setErrorLine(const QString& errorLine);

    // The caption, then the shared text, each kept when present and not empty, joined by one line
    // feed; no value when neither is kept. Nothing is trimmed.
    std::optional<QString> composeText(const std::optional<QString>& caption) const;

    // `caption` without U+0009 to U+000D, U+0085, U+2028, U+2029 or space separators (category
    // Zs) at either end.
    static QString trimmedCaption(const QString& caption);

    SharedContent& sharedContent() override;
    const SharedContent& sharedContent() const;

    // Writes the summary line from the shared content, then reports that the intake finished.
    void updateSummary() override;

    // Adds to the error line that an item was lost, and why, unless it says so already, then
    // reports it.
    void itemLost(std::error_code error) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // sendEnabledChanged when its value changes; summaryChanged at every updateSummary();
    // errorLineChanged at every setErrorLine(), the same text again included, since each is a
    // failure of its own.
    void sendEnabledChanged(bool enabled);
    void summaryChanged(const QString& summary);
    void errorLineChanged(const QString& errorLine);
    // The intake has filed everything it will file; emitted by updateSummary().
    void intakeFinished();
    // The intake could not take in an item; emitted by itemLost().
    void intakeLostItem();

private:
    std::vector<ChatListSnapshot::Entry> takeChats(const std::filesystem::path& file);
    void setSelectedRow(std::optional<int> row);
    void showFiltered(std::optional<std::vector<std::size_t>> positions);

    std::shared_ptr<const Environment> environment_;
    std::shared_ptr<FileManager> fileManager_;
    // Set by whichever begins reading first, the thread of Reading::ahead or loadChats(); it
    // outlives that thread, which is joined first.
    std::atomic<bool> readingBegun_ = false;
    // What Reading::ahead reads, until loadChats() takes it.
    std::future<std::vector<ChatListSnapshot::Entry>> chatsAhead_;
    // Joined when the model goes, not before: loadChats() does not wait for a thread that has not
    // begun.
    std::jthread readingAhead_;
    // Shared with the thread that prepares them for searching.
    std::shared_ptr<const std::vector<ChatListSnapshot::Entry>> allChats_;
    // The filtered chats as positions in allChats_; no value when every chat passes.
    std::optional<std::vector<std::size_t>> filteredChats_;
    // Prepared beside, or at the first query that is not empty: start-up never pays for it.
    std::shared_ptr<const ChatSearchIndex> searchIndex_;
    QString searchText_;
    std::optional<int> selectedRow_;
    SharedContent content_;
    QString summary_;
    QString errorLine_;
    // Last, so that it is stopped before anything it answers to goes.
    std::unique_ptr<ChatSearcher> searcher_;
};

} // namespace tovin
