#pragma once

#include <string_view>

namespace tovin {

// The last component of `path`, the name a person knows an item by: trailing separators aside,
// "/" for the root and empty for an empty path. A view into `path`.
constexpr std::string_view lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path.size() > 1 ? path.substr(path.rfind('/') + 1) : path;
}

} // namespace tovin
