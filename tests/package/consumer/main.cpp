// A host application in miniature: queues one share into the outbox given as the argument and
// lists it back, through the installed package only.
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <memory>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const tovin::ShareOutbox outbox(argv[1], std::make_shared<tovin::PosixFileManager>());
    const std::string id = outbox.enqueue(42, "hello from the host", "https://example.org/a", {});
    const auto pending = outbox.pending();
    return pending.size() == 1 && pending[0].id == id && pending[0].manifest.chatId == 42 ? 0 : 1;
}
