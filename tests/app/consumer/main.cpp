// A host application in miniature: queues one share into the outbox given as the argument and
// lists it back, through the installed package only.
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer OUTBOX\n";
        return 2;
    }
    const tovin::ShareOutbox outbox(argv[1], std::make_shared<tovin::PosixFileManager>());
    const std::string id = outbox.enqueue(42, "hello from the host", "https://example.org/a", {});
    const auto pending = outbox.pending();
    if (pending.size() != 1 || pending[0].id != id || pending[0].manifest.chatId != 42) {
        std::cerr << "the queued share was not listed\n";
        return 1;
    }
    std::cout << pending[0].id << ' ' << *pending[0].manifest.text << '\n';
    return 0;
}
