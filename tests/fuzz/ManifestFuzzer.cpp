#include "shared/DecodeError.h"
#include "shared/ShareOutbox.h"

#include <cstddef>
#include <cstdint>

// Any bytes as "manifest.json": the decoder returns a manifest or throws `DecodeError`, and
// nothing else.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tovin::ShareOutbox::Manifest::decode({reinterpret_cast<const char*>(data), size});
    } catch (const tovin::DecodeError&) {
    }
    return 0;
}
