#pragma once

#include "intake/ItemProvider.h"

#include <QString>
#include <memory>
#include <optional>
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

    // What was shared, in the order it was given.
    virtual const std::vector<InputItem>& inputItems() const = 0;

    // Ends the request as done.
    virtual void complete() = 0;

    // Ends the request as not done, for the reason `error`.
    virtual void cancel(std::error_code error) = 0;
};

} // namespace tovin
