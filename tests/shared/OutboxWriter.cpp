// Queues shares into an outbox, one after another, and prints the id of each as soon as enqueue
// has returned it; or lists an outbox, prints "listed", and removes every share in it: the other
// side of the crash and concurrency tests.
//
//     outbox_writer OUTBOX COUNT SOURCE...     (COUNT 0: until killed)
//     outbox_writer --remove OUTBOX
//     outbox_writer --chats FILE COUNT         (writes snapshots of COUNT chats until killed,
//                                               printing "written" after each)

#include "shared/ChatListSnapshot.h"
#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <string>
#include <string_view>
#include <unistd.h>

namespace {

int writeLine(const std::string& line) {
    return ::write(STDOUT_FILENO, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    if (std::string_view(argv[1]) == "--chats" && argc == 4) {
        std::vector<tovin::ChatListSnapshot::Entry> chats;
        for (long id = 0; id < std::stol(argv[3]); ++id)
            chats.push_back({id, "chat number " + std::to_string(id)});
        tovin::PosixFileManager disk;
        for (;;) {
            tovin::ChatListSnapshot::write(chats, argv[2], disk);
            if (!writeLine("written\n"))
                return 1;
        }
    }
    if (std::string_view(argv[1]) == "--remove") {
        const tovin::ShareOutbox outbox(argv[2], std::make_shared<tovin::PosixFileManager>());
        const auto shares = outbox.pending();
        if (!writeLine("listed\n"))
            return 1;
        for (const auto& share : shares)
            outbox.remove(share);
        return 0;
    }
    const tovin::ShareOutbox outbox(argv[1], std::make_shared<tovin::PosixFileManager>());
    const long count = std::stol(argv[2]);
    std::vector<tovin::ShareOutbox::AttachmentSource> attachments;
    for (int i = 3; i < argc; ++i)
        attachments.push_back({tovin::ShareOutbox::Manifest::Attachment::Kind::file, argv[i]});

    for (long i = 0; count == 0 || i < count; ++i) {
        if (!writeLine(outbox.enqueue(i, "share " + std::to_string(i), std::nullopt, attachments) +
                       "\n"))
            return 1;
    }
    return 0;
}
