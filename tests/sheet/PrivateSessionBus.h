#pragma once

#include "sheet/DBusNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <optional>
#include <stdexcept>

namespace tovin::test {

// A session bus of the test's own: a dbus-daemon that lives as long as the object, and is the
// session bus of the test's process and of the processes it starts meanwhile.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon_.waitForReadyRead(10000))
            throw std::runtime_error("cannot start dbus-daemon");
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    }
    ~PrivateSessionBus() {
        for (int name = 0; name < connections_; ++name)
            QDBusConnection::disconnectFromBus(QString::number(name));
        if (previous_)
            qputenv("DBUS_SESSION_BUS_ADDRESS", *previous_);
        else
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    const QString& address() const { return address_; }

    // A new connection of this process to the bus.
    QDBusConnection connect() {
        return QDBusConnection::connectToBus(address_, QString::number(connections_++));
    }

private:
    QProcess daemon_;
    QString address_;
    int connections_ = 0;
    const std::optional<QByteArray> previous_ =
        qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")
            ? std::optional(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
            : std::nullopt;
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

    // How many have arrived, once every signal the bus held for us is in: it answers a ping
    // after what it queued before.
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
