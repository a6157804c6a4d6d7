#include "sheet/EnqueueFailure.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tovin {
namespace {

namespace fs = std::filesystem;

TEST(EnqueueFailureMessage, NamesTheFileOrTheSharedFolderAndSaysWhyInPlainWords) {
    const fs::path outbox = "/home/ada/Library/Containers/com.brindlex.tovin.share/Data/"
                            "Documents/outbox";
    const fs::path entry = outbox / "6F9619FF-8B86-4011-B42D-00C04FC964FF";
    const auto error = [](int code) { return std::error_code(code, std::generic_category()); };
    const auto failed = [](const fs::path& path, std::error_code code) {
        return std::make_exception_ptr(fs::filesystem_error("cannot copy", path, code));
    };
    struct Case {
        std::exception_ptr failure;
        const char* message;
    };
    const Case cases[] = {
        {std::make_exception_ptr(fs::filesystem_error("cannot copy", "/home/ada/IMG_2041.HEIC",
                                                      entry / "attachments/IMG_2041.HEIC",
                                                      error(ENOSPC))),
         "Could not copy “IMG_2041.HEIC”: the disk is full."},
        {failed("/home/ada/Photos/", error(ENOENT)),
         "Could not copy “Photos”: it no longer exists."},
        {failed("/", error(EACCES)), "Could not copy “/”: permission was denied."},
        {failed("/tmp/\xff.png", error(EPERM)),
         "Could not copy “\uFFFD.png”: permission was denied."},
        {failed("/tmp/fifo", std::make_error_code(std::errc::not_supported)),
         "Could not copy “fifo”: it is neither a file nor a folder."},
        {failed(entry / "attachments/Photos/a.jpg", error(EIO)),
         "Could not copy “a.jpg”: the disk reported a read or write error."},
        {failed(entry / "attachments", error(EROFS)),
         "Could not save the share in tovin's shared folder: the disk is read-only."},
        {failed(entry / "manifest.json", error(EDQUOT)),
         "Could not save the share in tovin's shared folder: the disk quota is used up."},
        {failed(outbox, std::error_code(EACCES, std::system_category())),
         "Could not save the share in tovin's shared folder: permission was denied."},
        {failed(outbox / "../x", error(ENOTCONN)),
         "Could not copy “x”: something unexpected went wrong."},
        {failed("/home/ada", error(EINVAL)),
         "Could not copy “ada”: tovin's shared folder cannot be shared into itself."},
        {failed(entry / "manifest.json", error(EINVAL)),
         "Could not copy “manifest.json”: tovin's shared folder cannot be shared into itself."},
        {std::make_exception_ptr(std::system_error(error(EILSEQ), "encode")),
         "Could not save the share: the text or the link is not valid Unicode."},
        {std::make_exception_ptr(std::system_error(error(EMFILE), "open")),
         "Could not save the share: too many files are open."},
        {std::make_exception_ptr(std::bad_alloc()),
         "Could not save the share: the computer is out of memory."},
        {std::make_exception_ptr(std::invalid_argument("[json.exception.type_error.316]")),
         "Could not save the share."},
        {std::make_exception_ptr(42), "Could not save the share."},
    };
    for (const auto& [failure, message] : cases)
        EXPECT_EQ(enqueueFailureMessage(failure, outbox), QString::fromUtf8(message));
}

} // namespace
} // namespace tovin
