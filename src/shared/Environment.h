#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovin {

// The process environment, as the shared root and the temporary folder consult it.
class Environment {
public:
    virtual ~Environment() = default;

    // The value of the variable `name`, or no value when the environment has no such entry.
    virtual std::optional<std::string> variable(std::string_view name) const = 0;
};

// The environment of this process, read afresh on every call.
class ProcessEnvironment final : public Environment {
public:
    std::optional<std::string> variable(std::string_view name) const override;
};

} // namespace tovin
