#include "close_on_termination.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void NoteTermination(int signal) {
    // The window closes on its own thread; a second signal, should closing
    // hang, ends the process as if nothing were caught.
    std::signal(signal, SIG_DFL);
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

} // namespace

CloseOnTermination::CloseOnTermination(QWidget* window) : QObject(window), window_(window) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CloseOnTermination::signalled);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, NoteTermination);
    }
}

CloseOnTermination::~CloseOnTermination() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
}

void CloseOnTermination::signalled() {
    char drained[16];
    while (::read(signalPipe[0], drained, sizeof drained) > 0) {
    }
    if (window_) {
        window_->close();
    }
}
