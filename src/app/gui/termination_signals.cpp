#include "app/gui/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace tunecase {

namespace {

constexpr int kCaught[] = {SIGTERM, SIGHUP, SIGINT};

// The pipe the handler writes to: [0] read end, [1] write end.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    // A full pipe already holds a pending wake-up; nothing more to do.
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void closePipe() {
    for (int& fd : signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (signalPipe[0] >= 0) return;  // one catcher per process
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        closePipe();
        return;
    }
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : kCaught) ::sigaction(signo, &action, nullptr);
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readPending(); });
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (int signo : kCaught) std::signal(signo, SIG_DFL);
    notifier_->setEnabled(false);
    closePipe();
}

void TerminationSignals::readPending() {
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        if (onSignal_) onSignal_(byte);
}

}  // namespace tunecase
