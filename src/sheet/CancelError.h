#pragma once

#include <system_error>

namespace tovin {

// The code, in `cocoaErrorCategory()`, of a request that the user called off.
inline constexpr int userCancelledErrorCode = 3072;

// The category named "NSCocoaErrorDomain", the domain of the user-cancelled error.
const std::error_category& cocoaErrorCategory() noexcept;

// The error a share request is cancelled with when the user chooses Cancel.
std::error_code userCancelledError() noexcept;

} // namespace tovin
