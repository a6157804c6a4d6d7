#pragma once

#include "sheet/DBusNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>
#include <stdexcept>
#include <vector>

namespace tovin::test {

// A session bus of the test's own: a dbus-daemon started with the object and stopped with it.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon_.waitForReadyRead(10000))
            throw std::runtime_error("cannot start dbus-daemon");
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
    ~PrivateSessionBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    const QString& address() const { return address_; }

    // A new connection of this process to the bus.
    QDBusConnection connect() {
        names_.push_back(QStringLiteral("private-%1").arg(names_.size()));
        return QDBusConnection::connectToBus(address_, names_.back());
    }

private:
    QProcess daemon_;
    QString address_;
    std::vector<QString> names_;
};

// Counts the enqueue signals that reach one connection.
class EnqueueSignals : public QObject {
    Q_OBJECT
public:
    explicit EnqueueSignals(QDBusConnection connection)
        : connection_(std::move(connection)) {
        connection_.connect({}, DBusNotifier::objectPath, DBusNotifier::interface,
                            DBusNotifier::member, this, SLOT(count()));
    }

    // How many arrived, once every signal that the bus had before this call is delivered: the
    // bus answers a ping after what it queued for us before it.
    int arrived() {
        connection_.call(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Peer", "Ping"));
        QCoreApplication::processEvents();
        return count_;
    }

private slots:
    void count() { ++count_; }

private:
    QDBusConnection connection_;
    int count_ = 0;
};

} // namespace tovin::test
