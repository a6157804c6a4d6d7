#include "PrivateSessionBus.h"
#include "sheet/DBusNotifier.h"
#include "sheet/DesktopURLOpener.h"
#include "sheet/EnqueueFailure.h"
#include "support/TemporaryFolder.h"

#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;

// A bus that takes connections and never answers them keeps the probe at most a few seconds.
TEST(DBusNotifier, PostsOneSignalThatOutlivesAProcessExitingAtOnceAndNothingWithoutABus) {
    PrivateSessionBus bus;
    EnqueueSignals received(bus.connect());
    testing::TemporaryFolder folder;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(QString::fromStdString(folder / "silent")));

    struct Case {
        QString address;
        int runs;
        bool posts;
    };
    const Case cases[] = {{bus.address(), 5, true},
                          {"unix:path=/nonexistent/bus", 1, false},
                          {"unix:path=" + silent.fullServerName(), 1, false}};
    for (const auto& [address, runs, posts] : cases) {
        const int before = received.arrived();
        for (int run = 0; run < runs; ++run) {
            QProcess probe;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
            environment.remove("DISPLAY");
            environment.remove("WAYLAND_DISPLAY");
            probe.setProcessEnvironment(environment);
            probe.start(NOTIFY_PROBE, QStringList());
            ASSERT_TRUE(probe.waitForFinished(10000)) << address.toStdString();
            EXPECT_EQ(probe.exitCode(), 0);
            EXPECT_EQ(probe.readAllStandardError(), "") << address.toStdString();
        }
        EXPECT_EQ(received.arrived() - before, posts ? runs : 0) << address.toStdString();
    }
}

// The opener program records its argument, then waits for the test's word (or five seconds)
// before it finishes.
TEST(DesktopURLOpener, StartsTheOpenerAndReturnsWithoutWaitingForIt) {
    testing::TemporaryFolder folder;
    const fs::path opener = folder / "opener";
    std::ofstream(opener) << "#!/bin/sh\n"
                          << "cd \"$(dirname \"$0\")\"\n"
                          << "printf '%s' \"$1\" > opened.tmp && mv opened.tmp opened\n"
                          << "for i in $(seq 250); do [ -e go ] && break; sleep 0.02; done\n"
                          << ": > finished\n";
    fs::permissions(opener, fs::perms::owner_all);

    DesktopURLOpener(QString::fromStdString(opener)).open(QUrl("tovin://share"));
    EXPECT_FALSE(fs::exists(folder / "finished"));
    std::ofstream(folder / "go");
    for (int wait = 0; wait < 500 && !fs::exists(folder / "finished"); ++wait)
        QThread::msleep(10);
    QFile opened(QString::fromStdString(folder / "opened"));
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(opened.readAll(), "tovin://share");

    DesktopURLOpener(QString::fromStdString(folder / "missing")).open(QUrl("tovin://share"));
}

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
        {std::make_exception_ptr(fs::filesystem_error("cannot create the copy", "/home/ada/a:b.txt",
                                                      entry / "attachments/a:b.txt",
                                                      error(EINVAL))),
         "Could not copy “a:b.txt”: the disk does not accept it."},
        {failed("/home/ada", error(EINVAL)),
         "Could not copy “ada”: tovin's shared folder cannot be shared into itself."},
        {failed(entry / "manifest.json", error(EINVAL)),
         "Could not copy “manifest.json”: tovin's shared folder cannot be shared into itself."},
        {std::make_exception_ptr(fs::filesystem_error("cannot advance", error(EIO))),
         "Could not save the share: the disk reported a read or write error."},
        {std::make_exception_ptr(std::system_error(error(EILSEQ), "encode")),
         "Could not save the share: the text or the link is not valid Unicode."},
        {std::make_exception_ptr(std::bad_alloc()),
         "Could not save the share: the computer is out of memory."},
        {std::make_exception_ptr(std::invalid_argument("[json.exception.type_error.316]")),
         "Could not save the share."},
    };
    for (const auto& [failure, message] : cases)
        EXPECT_EQ(enqueueFailureMessage(failure, outbox).toStdString(), message);
}

} // namespace
} // namespace tovin::test
