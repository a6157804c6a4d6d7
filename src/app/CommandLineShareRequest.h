#pragma once

#include "intake/ShareRequest.h"

#include <vector>

namespace tovin::share {

// The share request of one run of tovin-share, whose end is the program's exit status: the
// application's event loop ends with `completed` or `cancelled`, from the event loop's next turn
// so that an end that comes before the loop runs is not lost. Only the first end counts.
class CommandLineShareRequest final : public ShareRequest {
public:
    explicit CommandLineShareRequest(InputItem inputItem);

    const std::vector<InputItem>& inputItems() const override;
    void complete() override;
    // The reason is not shown: the person who cancelled knows it.
    void cancel(std::error_code error) override;

private:
    void end(int status);

    std::vector<InputItem> inputItems_;
    bool ended_ = false;
};

} // namespace tovin::share
