#pragma once

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace tovin {

// The last component of `path`, the name a person knows an item by: trailing separators aside,
// "/" for the root and empty for an empty path. A view into `path`.
constexpr std::string_view lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path.size() > 1 ? path.substr(path.rfind('/') + 1) : path;
}

// Whether the resolved path `inner` is `outer` or lies inside it.
inline bool isWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first ==
           outer.end();
}

} // namespace tovin
