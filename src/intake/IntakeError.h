#pragma once

#include <system_error>

namespace tovin {

// The intake's own failures, one per loader: the provider delivered nothing, or nothing the loader
// accepts. They carry no message; none of them ever reaches the user.
enum class IntakeError {
    noFileURL = 1,
    noImage = 2,
    noURL = 3,
    noText = 4,
};

// The category named "tovin.share".
const std::error_category& intakeCategory() noexcept;

std::error_code make_error_code(IntakeError error) noexcept;

} // namespace tovin

template <> struct std::is_error_code_enum<tovin::IntakeError> : std::true_type {};
