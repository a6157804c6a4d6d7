#pragma once

#include <nlohmann/json.hpp>
#include <string>

// How the contract library writes JSON, the same for the snapshot and the manifest; `JSONReader.h`
// reads it.
namespace tovin::detail {

// Pretty-printed, keys sorted, UTF-8 as it is, and "/" written as "\/". Throws
// `nlohmann::json::type_error` for a string that is not UTF-8.
std::string encodeJSON(const nlohmann::json& value);

} // namespace tovin::detail
