#include "PrivateSessionBus.h"
#include "sheet/DBusNotifier.h"
#include "sheet/DesktopURLOpener.h"
#include "support/TemporaryFolder.h"

#include <QFile>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tovin::test {
namespace {

namespace fs = std::filesystem;

TEST(DBusNotifier, PostsOneSignalThatOutlivesAProcessExitingAtOnceAndNothingWithoutABus) {
    PrivateSessionBus bus;
    EnqueueSignals received(bus.connect());

    DBusNotifier(bus.connect()).post();
    DBusNotifier(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere")).post();
    EXPECT_EQ(received.arrived(), 1);

    struct Case {
        QString address;
        int posted;
    };
    const Case cases[] = {{bus.address(), 1}, {"unix:path=/nonexistent/bus", 0}};
    for (const auto& [address, posted] : cases) {
        const int before = received.arrived();
        for (int run = 0; run < 5; ++run) {
            QProcess probe;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
            environment.remove("DISPLAY");
            environment.remove("WAYLAND_DISPLAY");
            probe.setProcessEnvironment(environment);
            probe.start(NOTIFY_PROBE, QStringList());
            ASSERT_TRUE(probe.waitForFinished(10000));
            EXPECT_EQ(probe.exitCode(), 0);
            EXPECT_EQ(probe.readAllStandardError(), "") << address.toStdString();
        }
        EXPECT_EQ(received.arrived() - before, 5 * posted) << address.toStdString();
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

} // namespace
} // namespace tovin::test
