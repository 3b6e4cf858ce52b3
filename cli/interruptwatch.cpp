#include "cli/interruptwatch.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's ends; one watch at a time.
int pipeEnds[2] = {-1, -1};

} // namespace

InterruptWatch::InterruptWatch(QObject *parent) : QObject(parent)
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no watch: the signals end the program as before
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &InterruptWatch::drain);
    struct sigaction action {
    };
    action.sa_handler = &InterruptWatch::Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &formerInterrupt_);
    sigaction(SIGTERM, &action, &formerTerminate_);
}

InterruptWatch::~InterruptWatch()
{
    if (!notifier_)
        return;
    sigaction(SIGINT, &formerInterrupt_, nullptr);
    sigaction(SIGTERM, &formerTerminate_, nullptr);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void InterruptWatch::Handle(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

void InterruptWatch::drain()
{
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    emit interrupted();
}
