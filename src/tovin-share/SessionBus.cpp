#include "tovin-share/SessionBus.h"

#include "shared/FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <vector>

namespace tovin::share {

namespace {

using Clock = std::chrono::steady_clock;

// A local socket: its path, or its name in the abstract namespace when `abstract`.
struct SocketAddress {
    std::string name;
    bool abstract = false;
};

// The value of `key` in a bus address's "key=value,key=value" part, its escapes undone.
std::optional<std::string> value(const QByteArray& entries, const QByteArray& key) {
    for (const QByteArray& entry : entries.split(',')) {
        if (entry.startsWith(key + '='))
            return QByteArray::fromPercentEncoding(entry.mid(key.size() + 1)).toStdString();
    }
    return std::nullopt;
}

// The local sockets that a bus address names, in its order ("unix:path=/run/user/1000/bus" or
// several, separated by ";"); other transports are left out.
std::vector<SocketAddress> localSockets(const Environment& environment) {
    const std::optional<std::string> named = environment.variable("DBUS_SESSION_BUS_ADDRESS");
    const std::optional<std::string> runtime = environment.variable("XDG_RUNTIME_DIR");
    const std::string runtimeBus = runtime ? *runtime + "/bus" : std::string();
    if (!named || named->empty())
        return {{runtimeBus}};
    std::vector<SocketAddress> sockets;
    for (const QByteArray& address : QByteArray::fromStdString(*named).split(';')) {
        if (!address.startsWith("unix:"))
            continue;
        const QByteArray entries = address.mid(5);
        if (const auto path = value(entries, "path"))
            sockets.push_back({*path});
        else if (const auto abstract = value(entries, "abstract"))
            sockets.push_back({*abstract, true});
        else if (value(entries, "runtime") == "yes")
            sockets.push_back({runtimeBus});
    }
    return sockets;
}

// A connection to a bus's socket: connected, refused or not there (no socket), or not taken
// (`accepted` false).
struct Connection {
    FileDescriptor socket;
    bool accepted = true;
};

Connection connect(const SocketAddress& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = socket.abstract ? 1 : 0;
    if (socket.name.empty() || socket.name.size() + offset >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path + offset, socket.name.data(), socket.name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               socket.name.size() + (socket.abstract ? 0 : 1));
    FileDescriptor connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!connection)
        return {};
    if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0)
        return {std::move(connection)};
    // A daemon whose queue of new connections is full takes none.
    return {FileDescriptor(), errno != EAGAIN};
}

// Waits until the connection has something for us or `deadline` has passed.
bool answers(const FileDescriptor& connection, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{connection.get(), POLLIN, 0};
        const int count = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (count > 0)
            return true;
        if (count < 0 && errno != EINTR)
            return true;
    }
}

} // namespace

// The first words of the bus's own protocol: a nul byte, then a request to authenticate that
// names no mechanism. A bus that runs answers at once with the mechanisms it knows.
bool sessionBusIsSilent(const Environment& environment, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (const SocketAddress& socket : localSockets(environment)) {
        const Connection connection = connect(socket);
        if (!connection.accepted)
            return true;
        if (!connection.socket)
            continue;
        static constexpr char greeting[] = {'\0', 'A', 'U', 'T', 'H', '\r', '\n'};
        if (::send(connection.socket.get(), greeting, sizeof greeting, MSG_NOSIGNAL) < 0)
            return false;
        return !answers(connection.socket, deadline);
    }
    return false;
}

} // namespace tovin::share
