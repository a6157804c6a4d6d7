// Queues shares into an outbox, one after another, and prints the id of each as soon as enqueue
// has returned it: the other side of the crash and concurrency tests.
//
//     outbox_writer OUTBOX COUNT SOURCE...     (COUNT 0: until killed)

#include "shared/PosixFileManager.h"
#include "shared/ShareOutbox.h"

#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const tovin::ShareOutbox outbox(argv[1], std::make_shared<tovin::PosixFileManager>());
    const long count = std::stol(argv[2]);
    std::vector<tovin::ShareOutbox::AttachmentSource> attachments;
    for (int i = 3; i < argc; ++i)
        attachments.push_back({tovin::ShareOutbox::Manifest::Attachment::Kind::file, argv[i]});

    for (long i = 0; count == 0 || i < count; ++i) {
        const std::string line =
            outbox.enqueue(i, "share " + std::to_string(i), std::nullopt, attachments) + "\n";
        if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return 1;
    }
    return 0;
}
