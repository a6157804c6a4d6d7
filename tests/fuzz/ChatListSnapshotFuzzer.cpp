#include "shared/ChatListSnapshot.h"
#include "shared/DecodeError.h"

#include <cstddef>
#include <cstdint>

// Any bytes as "chats.json": the decoder returns chats or throws `DecodeError`, and nothing else.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tovin::ChatListSnapshot::decode({reinterpret_cast<const char*>(data), size});
    } catch (const tovin::DecodeError&) {
    }
    return 0;
}
