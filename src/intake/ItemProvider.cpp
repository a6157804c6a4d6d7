#include "intake/ItemProvider.h"

#include <atomic>
#include <utility>

namespace tovin {

class ItemCompletion::Once {
public:
    explicit Once(Handler handler)
        : handler_(std::move(handler)) {}
    Once(const Once&) = delete;
    Once& operator=(const Once&) = delete;

    ~Once() {
        if (!called_.exchange(true))
            handler_(LoadedItem{});
    }

    void call(LoadedItem loaded) {
        if (!called_.exchange(true))
            handler_(std::move(loaded));
    }

private:
    Handler handler_;
    std::atomic<bool> called_ = false;
};

ItemCompletion::ItemCompletion(Handler handler)
    : once_(std::make_shared<Once>(std::move(handler))) {}

void ItemCompletion::operator()(LoadedItem loaded) const {
    once_->call(std::move(loaded));
}

} // namespace tovin
