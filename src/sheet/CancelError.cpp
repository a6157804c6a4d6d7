#include "sheet/CancelError.h"

#include <string>

namespace tovin {

namespace {

class CocoaErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "NSCocoaErrorDomain"; }
    std::string message(int code) const override {
        return code == userCancelledErrorCode ? "cancelled by the user" : "unknown error";
    }
};

} // namespace

const std::error_category& cocoaErrorCategory() noexcept {
    static const CocoaErrorCategory category;
    return category;
}

std::error_code userCancelledError() noexcept {
    return {userCancelledErrorCode, cocoaErrorCategory()};
}

} // namespace tovin
