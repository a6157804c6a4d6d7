#pragma once

#include "intake/LoadedItem.h"

#include <functional>
#include <memory>
#include <string_view>

namespace tovin {

// The completion handler of one item load. Copies share one handler, which runs at most once: the
// first call is delivered and later calls are ignored. When the last copy is destroyed without
// having been called, the handler receives an empty item, so a dropped load still ends.
class ItemCompletion {
public:
    using Handler = std::function<void(LoadedItem)>;

    explicit ItemCompletion(Handler handler);

    void operator()(LoadedItem loaded) const;

private:
    class Once;
    std::shared_ptr<Once> once_;
};

// One attachment of an input item.
class ItemProvider {
public:
    virtual ~ItemProvider() = default;

    // Whether the provider offers `typeIdentifier` or a type that conforms to it.
    virtual bool hasItemConformingTo(std::string_view typeIdentifier) const = 0;

    // Starts loading the item as `typeIdentifier` and returns at once. `completion` is called
    // once, later, on a thread that is not the caller's; the provider may be destroyed meanwhile.
    virtual void loadItem(std::string_view typeIdentifier, ItemCompletion completion) const = 0;
};

} // namespace tovin
