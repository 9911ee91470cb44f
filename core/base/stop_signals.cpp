#include "core/base/stop_signals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

} // namespace

bool StopSignals::install() {
    if (signalPipe[0] >= 0) {
        return true;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
}

StopSignals::StopSignals(QObject *parent) : QObject(parent) {
    if (!install()) {
        return;
    }
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte;
        const ssize_t ignored = ::read(signalPipe[0], &byte, 1);
        (void)ignored;
        stop = true;
        emit stopRequested();
    });
}

StopSignals::~StopSignals() = default;
