#include "sheet/EnqueueFailure.h"

#include "shared/PathComponent.h"
#include "shared/ShareOutbox.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <optional>
#include <utility>

namespace tovin {

namespace fs = std::filesystem;

namespace {

// The context in which translators find this file's texts.
struct EnqueueFailure {
    Q_DECLARE_TR_FUNCTIONS(EnqueueFailure)
};

} // namespace

std::optional<QString> plainReason(std::error_code error) {
    static constexpr std::array<std::pair<int, const char*>, 22> reasons{{
        {ENOSPC, QT_TRANSLATE_NOOP("EnqueueFailure", "the disk is full")},
        {EDQUOT, QT_TRANSLATE_NOOP("EnqueueFailure", "the disk quota is used up")},
        {EACCES, QT_TRANSLATE_NOOP("EnqueueFailure", "permission was denied")},
        {EPERM, QT_TRANSLATE_NOOP("EnqueueFailure", "permission was denied")},
        {EROFS, QT_TRANSLATE_NOOP("EnqueueFailure", "the disk is read-only")},
        {ENOENT, QT_TRANSLATE_NOOP("EnqueueFailure", "it no longer exists")},
        {EIO, QT_TRANSLATE_NOOP("EnqueueFailure", "the disk reported a read or write error")},
        {ENOTSUP, QT_TRANSLATE_NOOP("EnqueueFailure", "it is neither a file nor a folder")},
        {EEXIST, QT_TRANSLATE_NOOP("EnqueueFailure", "an item with that name is in the way")},
        {ENAMETOOLONG, QT_TRANSLATE_NOOP("EnqueueFailure", "its name or path is too long")},
        {ELOOP, QT_TRANSLATE_NOOP("EnqueueFailure", "it is a link that leads nowhere")},
        {ENOTDIR, QT_TRANSLATE_NOOP("EnqueueFailure", "a folder on its path is a file")},
        {EISDIR, QT_TRANSLATE_NOOP("EnqueueFailure", "it is a folder")},
        {EFBIG, QT_TRANSLATE_NOOP("EnqueueFailure", "it is too large")},
        {EMFILE, QT_TRANSLATE_NOOP("EnqueueFailure", "too many files are open")},
        {ENFILE, QT_TRANSLATE_NOOP("EnqueueFailure", "too many files are open")},
        {ENOMEM, QT_TRANSLATE_NOOP("EnqueueFailure", "the computer is out of memory")},
        {EBUSY, QT_TRANSLATE_NOOP("EnqueueFailure", "it is in use")},
        {EILSEQ, QT_TRANSLATE_NOOP("EnqueueFailure", "the text or the link is not valid Unicode")},
        {EMSGSIZE, QT_TRANSLATE_NOOP("EnqueueFailure", "the text is too long")},
        {E2BIG, QT_TRANSLATE_NOOP("EnqueueFailure", "it holds too many files")},
        {EINVAL, QT_TRANSLATE_NOOP("EnqueueFailure", "the disk does not accept it")},
    }};
    const auto known = std::ranges::find_if(reasons, [&](const auto& entry) {
        return error == std::error_condition(entry.first, std::generic_category());
    });
    if (known == reasons.end())
        return std::nullopt;
    return EnqueueFailure::tr(known->second);
}

namespace {

// Why an item could not be saved, said after a colon, in plain words.
QString reason(std::error_code error) {
    return plainReason(error).value_or(EnqueueFailure::tr("something unexpected went wrong"));
}

// The last component of `item`, which is how the user knows it.
QString nameOf(const fs::path& item) {
    const std::string_view text = lastPathComponent(item.native());
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

// A failure of the entry's own folders and manifest, rather than of a file being copied into its
// attachments: entry/"attachments"/name…
bool concernsTheOutbox(const fs::path& outbox, const fs::filesystem_error& error) {
    if (!error.path2().empty())
        return false;
    const fs::path relative = error.path1().lexically_relative(outbox);
    if (relative.empty() || *relative.begin() == "..")
        return false;
    return std::distance(relative.begin(), relative.end()) < 3 ||
           *std::next(relative.begin()) != ShareOutbox::attachmentsFolderName;
}

QString saveMessage(std::error_code error) {
    return EnqueueFailure::tr("Could not save the share: %1.").arg(reason(error));
}

QString fileSystemMessage(const fs::filesystem_error& error, const fs::path& outbox) {
    // An error that names no item, as a file manager of the host's own may throw.
    if (error.path1().empty())
        return saveMessage(error.code());
    // The outbox refuses a source that is tovin's shared folder, lies in it or holds it, and a
    // link in a shared folder that holds it, naming that item alone; a copy that the disk does
    // not accept names its destination too.
    if (error.code() == std::errc::invalid_argument && error.path2().empty())
        return EnqueueFailure::tr(
                   "Could not copy “%1”: tovin's shared folder cannot be shared into itself.")
            .arg(nameOf(error.path1()));
    if (concernsTheOutbox(outbox, error))
        return EnqueueFailure::tr("Could not save the share in tovin's shared folder: %1.")
            .arg(reason(error.code()));
    return EnqueueFailure::tr("Could not copy “%1”: %2.")
        .arg(nameOf(error.path1()), reason(error.code()));
}

} // namespace

QString enqueueFailureMessage(std::exception_ptr failure, const fs::path& outbox) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const fs::filesystem_error& error) {
        return fileSystemMessage(error, outbox);
    } catch (const std::system_error& error) {
        return saveMessage(error.code());
    } catch (const std::bad_alloc&) {
        return saveMessage(std::make_error_code(std::errc::not_enough_memory));
    } catch (...) {
        return EnqueueFailure::tr("Could not save the share.");
    }
}

QString intakeLossMessage(std::error_code error) {
    return EnqueueFailure::tr("Could not take in everything that was shared: %1.")
        .arg(reason(error));
}

} // namespace tovin
