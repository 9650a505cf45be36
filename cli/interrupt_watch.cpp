#include "cli/interrupt_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace varnelt {

namespace {

// The one thing the signal handler may touch.
int signalPipe = -1;

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe, &byte, 1);
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> interrupted) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    signalPipe = pipe_[1];
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [this, interrupted = std::move(interrupted)] {
                         char bytes[16];
                         while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
                         }
                         interrupted_ = true;
                         interrupted();
                     });
}

InterruptWatch::~InterruptWatch() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    signalPipe = -1;
    notifier_.reset();
    for (const int fd : pipe_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

}  // namespace varnelt
