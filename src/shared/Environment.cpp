#include "shared/Environment.h"

#include <cstdlib>

namespace tovin {

std::optional<std::string> ProcessEnvironment::variable(std::string_view name) const {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

} // namespace tovin
