#pragma once

#include "shared/ChatListSnapshot.h"
#include "sheet/ChatSearchIndex.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace tovin {

// Searches the titles of a chat list on a thread of its own, so that whoever asks never waits:
// it prepares every title first (see ChatSearchIndex), then answers each search in turn. A search
// asked for while another runs replaces any that is still waiting. Destroying the searcher stops
// it soon, whatever it is doing, and answers nothing more.
class ChatSearcher {
public:
    // Called on the thread of `context`, while it exists, with a query that was searched for and
    // the ascending positions in `chats` of the chats it matches.
    using Answer = std::function<void(const QString& query, std::vector<std::size_t> positions)>;

    ChatSearcher(std::shared_ptr<const std::vector<ChatListSnapshot::Entry>> chats,
                 QObject* context, Answer answer);
    ~ChatSearcher();
    ChatSearcher(const ChatSearcher&) = delete;
    ChatSearcher& operator=(const ChatSearcher&) = delete;

    // Searches for `query`, a search key (see ChatSearchIndex::query) that is not empty.
    void search(const QString& query);

    // The titles prepared for searching, once they are; until then none.
    std::shared_ptr<const ChatSearchIndex> preparedIndex() const;

private:
    void run(std::stop_token stop);
    std::optional<QString> nextQuery(std::stop_token stop);

    std::shared_ptr<const std::vector<ChatListSnapshot::Entry>> chats_;
    QObject* context_;
    Answer answer_;
    mutable std::mutex mutex_;
    std::condition_variable_any queryArrived_;
    std::optional<QString> waitingQuery_;
    std::shared_ptr<const ChatSearchIndex> index_;
    // Last, so that it is stopped and joined before anything it uses goes.
    std::jthread thread_;
};

} // namespace tovin
