#include "shell/terminationsignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorn {
namespace {

// [0] is written by the signal handler, [1] read on the main thread.
int s_signalPipe[2] = {-1, -1};

void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool watchTerminationSignals(QObject *context, std::function<void()> onSignal)
{
    if (s_signalPipe[0] >= 0)
        return false;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_signalPipe) != 0)
        return false;

    auto *notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [onSignal = std::move(onSignal)] {
                         std::array<char, 16> drained{};
                         while (::read(s_signalPipe[1], drained.data(), drained.size()) > 0) {
                         }
                         onSignal();
                     });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
    return true;
}

} // namespace vorn
