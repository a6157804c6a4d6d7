#pragma once

#include <string>

namespace tovin {

// Where entry ids and generated file names come from.
class UUIDSource {
public:
    virtual ~UUIDSource() = default;

    // A fresh UUID in its canonical 36-character form, hexadecimal digits in upper case.
    virtual std::string newUUID() = 0;
};

// Random (version 4) UUIDs.
class RandomUUIDSource final : public UUIDSource {
public:
    std::string newUUID() override;
};

} // namespace tovin
