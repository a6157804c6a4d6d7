#include "intake/IntakeError.h"

#include <string>

namespace tovin {

namespace {

class IntakeCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "tovin.share"; }
    std::string message(int) const override { return {}; }
};

} // namespace

const std::error_category& intakeCategory() noexcept {
    static const IntakeCategory category;
    return category;
}

std::error_code make_error_code(IntakeError error) noexcept {
    return {static_cast<int>(error), intakeCategory()};
}

} // namespace tovin
