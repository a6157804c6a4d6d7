#pragma once

#include <string>
#include <string_view>
#include <system_error>

// UTF-8 as the contract's JSON files require it: well-formed, with no overlong forms, no
// surrogates and nothing past U+10FFFF.
namespace tovin::detail {

bool isUTF8(std::string_view text);

// `text` with each byte that is not part of a well-formed sequence replaced by U+FFFD.
std::string replacingInvalidUTF8(std::string_view text);

// The error for `what` (as in "the text") not being UTF-8: `std::errc::illegal_byte_sequence`.
std::system_error notUTF8(const std::string& what);

} // namespace tovin::detail
