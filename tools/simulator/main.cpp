// kelmora-sim: plays the motion controller on a pseudo-terminal, so that the
// console, its tests and its benchmarks have a peer without the machine.

#include "line_server.h"
#include "pseudo_terminal.h"
#include "sim_options.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int g_stopPipeWrite = -1;

extern "C" void RequestStop(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a stop is already pending.
    [[maybe_unused]] const ssize_t ignored = write(g_stopPipeWrite, &byte, 1);
}

bool InstallStopSignals(int& stopPipeRead) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    for (const int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    stopPipeRead = fds[0];
    g_stopPipeWrite = fds[1];

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0) {
        return false;
    }
    // A reader of stdout that has gone away must not end the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const sim::OptionsResult parsed =
        sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok()) {
        std::fprintf(stderr, "kelmora-sim: %s\n\n%s", parsed.error.c_str(),
                     sim::UsageText().c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(sim::UsageText().c_str(), stdout);
        return 0;
    }

    int stopPipeRead = -1;
    if (!InstallStopSignals(stopPipeRead)) {
        std::perror("kelmora-sim: signals");
        return 1;
    }

    std::string error;
    const auto terminal = sim::PseudoTerminal::open(error);
    if (!terminal) {
        std::fprintf(stderr, "kelmora-sim: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<sim::SymbolicLink> link;
    if (!parsed.options.linkPath.empty()) {
        link = sim::SymbolicLink::create(parsed.options.linkPath, terminal->slaveName(), error);
        if (!link) {
            std::fprintf(stderr, "kelmora-sim: %s\n", error.c_str());
            return 1;
        }
    }

    std::printf("%s\n", terminal->slaveName().c_str());
    std::fflush(stdout);

    sim::LineServer server(parsed.options, *terminal, stopPipeRead);
    return server.run();
}
