#pragma once

#include <stdexcept>

namespace tovin {

// JSON that does not have the shape the contract fixes; the message names what is wrong.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tovin
