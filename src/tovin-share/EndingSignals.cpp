#include "tovin-share/EndingSignals.h"

#include <QCoreApplication>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tovin::share {

namespace {

constexpr std::array endingSignals{SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: where it tells the event loop of a signal, and the actions the
// signals had before.
int signalled = -1;
std::array<struct sigaction, endingSignals.size()> previous{};

// The first signal is ours to handle; any after it, should ending hang, takes its former course.
void tell(int signal) {
    const int saved = errno;
    for (std::size_t index = 0; index < endingSignals.size(); ++index)
        ::sigaction(endingSignals[index], &previous[index], nullptr);
    const auto number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(signalled, &number, 1);
    errno = saved;
}

} // namespace

EndingSignals::EndingSignals() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot make a pipe");
    arrivals_ = FileDescriptor(ends[0]);
    signalled = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(arrivals_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readSignal(); });
    struct sigaction action {};
    action.sa_handler = tell;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t index = 0; index < endingSignals.size(); ++index) {
        ::sigaction(endingSignals[index], nullptr, &previous[index]);
        // A signal ignored by whoever started us (nohup, a shell's background job) stays so.
        if (previous[index].sa_handler != SIG_IGN)
            ::sigaction(endingSignals[index], &action, nullptr);
    }
}

EndingSignals::~EndingSignals() {
    for (std::size_t index = 0; index < endingSignals.size(); ++index)
        ::sigaction(endingSignals[index], &previous[index], nullptr);
    ::close(std::exchange(signalled, -1));
}

void EndingSignals::endAsSignalled() const {
    if (!received_)
        return;
    std::signal(*received_, SIG_DFL);
    std::raise(*received_);
}

void EndingSignals::readSignal() {
    unsigned char number = 0;
    if (::read(arrivals_.get(), &number, 1) != 1 || received_)
        return;
    received_ = number;
    QCoreApplication::exit(128 + number);
}

} // namespace tovin::share
