#pragma once

#include "intake/ItemProvider.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace tovin {

// One thing the user chose to share: an optional text, and its attachments in order.
struct InputItem {
    std::optional<QString> contentText;
    std::vector<std::shared_ptr<const ItemProvider>> attachments;
};

// The share request the sheet serves. It ends once, either way.
class ShareRequest {
public:
    virtual ~ShareRequest() = default;

    // What was shared, in the order it was given. Complete once the request is ready.
    virtual const std::vector<InputItem>& inputItems() const = 0;

    // Calls `ready` on the main thread once inputItems() holds everything that was shared: by
    // default from the event loop, as soon as the caller is done. A request that must wait, such
    // as for a clipboard that a window can read only once it is active, calls it later.
    virtual void whenReady(std::function<void()> ready) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(ready),
                                  Qt::QueuedConnection);
    }

    // What was shared but cannot be, in sentences for the person sharing, such as
    // Could not share “x.pdf”: it no longer exists.; empty when nothing was left out. Complete
    // once the request is ready.
    virtual QString leftOut() const { return {}; }

    // Ends the request as done: the share was queued as the outbox entry `queuedShareID`.
    virtual void complete(const std::string& queuedShareID) = 0;

    // Ends the request as not done, for the reason `error`.
    virtual void cancel(std::error_code error) = 0;
};

} // namespace tovin
