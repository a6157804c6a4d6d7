#include "sheet/ChatSearcher.h"

#include <utility>

namespace tovin {

ChatSearcher::ChatSearcher(std::shared_ptr<const std::vector<ChatListSnapshot::Entry>> chats,
                           QObject* context, Answer answer)
    : chats_(std::move(chats))
    , context_(context)
    , answer_(std::move(answer))
    , thread_([this](std::stop_token stop) { run(stop); }) {}

ChatSearcher::~ChatSearcher() = default;

void ChatSearcher::search(const QString& query) {
    {
        const std::lock_guard lock(mutex_);
        waitingQuery_ = query;
    }
    queryArrived_.notify_one();
}

std::shared_ptr<const ChatSearchIndex> ChatSearcher::preparedIndex() const {
    const std::lock_guard lock(mutex_);
    return index_;
}

std::optional<QString> ChatSearcher::nextQuery(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!queryArrived_.wait(lock, stop, [this] { return waitingQuery_.has_value(); }) ||
        stop.stop_requested())
        return std::nullopt;
    return std::exchange(waitingQuery_, std::nullopt);
}

void ChatSearcher::run(std::stop_token stop) {
    std::optional<ChatSearchIndex> prepared = ChatSearchIndex::prepare(*chats_, stop);
    if (!prepared)
        return;
    const auto index = std::make_shared<const ChatSearchIndex>(std::move(*prepared));
    {
        const std::lock_guard lock(mutex_);
        index_ = index;
    }
    // Typing on narrows a search: only the chats that the last query found can match.
    QString lastQuery;
    std::vector<std::size_t> lastFound;
    while (const std::optional<QString> query = nextQuery(stop)) {
        std::vector<std::size_t> found = !lastQuery.isEmpty() && query->contains(lastQuery)
                                             ? index->matching(*query, lastFound)
                                             : index->matching(*query);
        lastQuery = *query;
        lastFound = found;
        QMetaObject::invokeMethod(
            context_,
            [answer = answer_, query = *query, found = std::move(found)]() mutable {
                answer(query, std::move(found));
            },
            Qt::QueuedConnection);
    }
}

} // namespace tovin
