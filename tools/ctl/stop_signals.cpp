#include "stop_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void WriteSignal(int signal) {
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a stop.
    [[maybe_unused]] const ssize_t ignored = write(g_signalPipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(std::function<void(int)> onStop, QObject* parent)
    : QObject(parent), onStop_(std::move(onStop)) {
    if (pipe(g_signalPipe) != 0) {
        return;
    }
    for (const int fd : g_signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A reader of the output that went away (| head) ends the output, not the run.
    std::signal(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
}

void StopSignals::readSignal() {
    unsigned char byte = 0;
    while (read(g_signalPipe[0], &byte, 1) == 1) {
        onStop_(byte);
    }
}
