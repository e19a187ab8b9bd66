#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = { -1, -1 };

// Only async-signal-safe work here: the number goes through the pipe to the event loop.
void SignalHandler(int signalNumber)
{
    const char number = static_cast<char>(signalNumber);
    [[maybe_unused]] auto written = ::write(g_pipe[1], &number, 1);
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char number = 0;
        if (::read(g_pipe[0], &number, 1) == 1) {
            emit Requested(number);
        }
    });
    struct sigaction action
    {
    };
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

TTerminationSignals::~TTerminationSignals()
{
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        std::signal(signalNumber, SIG_DFL);
    }
}
