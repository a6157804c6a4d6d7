#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// The JSON conventions of the contract, shared by the snapshot and the manifest.
namespace tovin::detail {

// Pretty-printed, keys sorted, UTF-8 as it is, and "/" written as "\/". Throws
// `nlohmann::json::type_error` for a string that is not UTF-8.
std::string encodeJSON(const nlohmann::json& value);

// The value of a JSON number's text when it is an integer in the signed 64-bit range, whatever
// its notation (3, 3.0, 0.3e1 and 1e3 alike); exact at both limits, with no rounding.
std::optional<std::int64_t> parseExactInt64(std::string_view numberText);
std::optional<std::int64_t> exactInt64(std::uint64_t value);

// The document in `text`, in which every number with an integral value in the signed 64-bit range
// is held as an integer, so that `exactInt64(const nlohmann::json&)` needs no rounding. Throws
// `nlohmann::json::parse_error`.
nlohmann::json parseJSON(std::string_view text);

// Why `text` could not be parsed, in words: nlohmann's message without its "[json.exception…]" tag.
std::string describeParseError(const nlohmann::json::exception& error);

// The integer that `value` holds, when it is one in the signed 64-bit range.
std::optional<std::int64_t> exactInt64(const nlohmann::json& value);

} // namespace tovin::detail
